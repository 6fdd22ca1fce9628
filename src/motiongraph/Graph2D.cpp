#include "motiongraph/Graph2D.h"

#include "capture/MessageSink.h"
#include "capture/Random.h"
#include "motiongraph/NodeOverlapIndex.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <unordered_set>

namespace duolo {

namespace {

template <typename T>
void eraseFirst(std::vector<T*>& list, const T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end())
        list.erase(it);
}

template <typename T>
void moveTo(std::vector<T*>& fromList, std::vector<T*>& toList, typename std::vector<T*>::iterator it)
{
    T* item = *it;
    fromList.erase(it);
    toList.push_back(item);
}

} // namespace

// --- Graph2DNode ------------------------------------------------------------------------

Graph2DNode::Graph2DNode() = default;

Graph2DNode::Graph2DNode(int32_t startFrame, int32_t endFrame, int32_t id, double x, double y)
    : startFrame(startFrame), endFrame(endFrame), currentFrame(startFrame), id(id), x(x), y(y)
{
}

Graph2DNode::~Graph2DNode()
{
    // A self-loop is listed here only once, so after it is taken off this list there is no
    // other entry to remove: it is destroyed exactly once.
    while (!incidentEdges.empty()) {
        Graph2DEdge* edge = incidentEdges.front();
        incidentEdges.erase(incidentEdges.begin());
        Graph2DNode* other = edge->to == this ? edge->from : edge->to;
        if (other && other != this)
            eraseFirst(other->incidentEdges, edge);
        delete edge;
    }
}

bool Graph2DNode::advanceFrame()
{
    // Compared before counting on, so that no frame value can overflow.
    if (currentFrame >= endFrame) {
        currentFrame = startFrame;
        return true;
    }
    ++currentFrame;
    return false;
}

void Graph2DNode::translate(double dx, double dy)
{
    x += dx;
    y += dy;
    for (Graph2DEdge* edge : incidentEdges)
        edge->rebuildGeometry();
}

bool Graph2DNode::hit(double px, double py) const
{
    return radius * radius >= (y - py) * (y - py) + (x - px) * (x - px);
}

bool Graph2DNode::overlaps(double px, double py) const
{
    const double reach = 2.0 * radius;
    return reach * reach >= (y - py) * (y - py) + (x - px) * (x - px);
}

// --- Graph2DEdge ------------------------------------------------------------------------

Graph2DEdge::Graph2DEdge() = default;

Graph2DEdge::Graph2DEdge(Graph2DNode* from, Graph2DNode* to) : from(from), to(to)
{
    rebuildGeometry();
}

void Graph2DEdge::rebuildGeometry()
{
    if (!from || !to)
        return;
    const double s = (to->y - from->y) / (to->x - from->x);
    slope = s;
    const double w2 = halfWidth * halfWidth;
    double a = std::sqrt(w2 / (1.0 / (s * s) + 1.0));  // the perpendicular's x part
    const double b = std::sqrt(w2 / (s * s + 1.0));    // its y part
    offX = s <= 0.0 ? -b : b;
    offY = a;
    if (s > 0.0)
        a = -a;
    cornerX[0] = from->x + a; cornerY[0] = from->y + b;
    cornerX[1] = from->x - a; cornerY[1] = from->y - b;
    cornerX[2] = to->x - a;   cornerY[2] = to->y - b;
    cornerX[3] = to->x + a;   cornerY[3] = to->y + b;

    const double r = to->radius;
    if (s < 0.0) {
        arrowDx = r * std::cos(std::atan(s));
        arrowDy = r * std::sin(std::atan(s));
    } else if (s > 0.0) {
        arrowDx = -(r * std::cos(std::atan(s)));
        arrowDy = -(r * std::sin(std::atan(s)));
    } else {  // zero or not a number
        arrowDx = r;
        arrowDy = 0.0;
    }
}

bool Graph2DEdge::hit(double px, double py) const
{
    if (!from || !to)
        return false;
    bool allNegative = true;
    bool allPositive = true;
    for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        const double cross = (cornerY[n] - cornerY[k]) * (px - cornerX[k])
                           - (cornerX[n] - cornerX[k]) * (py - cornerY[k]);
        allNegative = allNegative && cross < 0.0;
        allPositive = allPositive && cross > 0.0;
    }
    return from->x <= to->x ? allNegative : allPositive;
}

// --- Graph2D ----------------------------------------------------------------------------

Graph2D::Graph2D() { seedRandomFromClock(); }

Graph2D::~Graph2D()
{
    // Each node takes its incident edges with it; the edge lists hold pointers only.
    for (Graph2DNode* node : nodes)
        delete node;
    for (Graph2DNode* node : selectedNodes)
        delete node;
}

Graph2DNode* Graph2D::addNode(int32_t startFrame, int32_t endFrame, double x, double y)
{
    auto* node = new Graph2DNode(startFrame, endFrame, totalNodeCount(), x, y);
    resolveOverlap(node);
    selectedNodes.push_back(node);
    if (placementIndex_)
        placementIndex_->insert(node);
    return node;
}

Graph2DEdge* Graph2D::addEdge(Graph2DNode* a, Graph2DNode* b)
{
    if (!a || !b)
        return nullptr;
    for (const Graph2DEdge* edge : a->incidentEdges)
        if (edge->to == b)
            return nullptr;
    auto* edge = new Graph2DEdge(a, b);
    a->incidentEdges.push_back(edge);
    if (b != a)
        b->incidentEdges.push_back(edge);
    edges.push_back(edge);
    return edge;
}

bool Graph2D::selectNode(Graph2DNode* node)
{
    const auto it = std::find(nodes.begin(), nodes.end(), node);
    if (it == nodes.end())
        return false;
    moveTo(nodes, selectedNodes, it);
    return true;
}

bool Graph2D::deleteSelected()
{
    return remove(selectedNodes, selectedEdges);
}

bool Graph2D::remove(const std::vector<Graph2DNode*>& nodesToGo, const std::vector<Graph2DEdge*>& edgesToGo)
{
    if (nodesToGo.empty() && edgesToGo.empty())
        return false;
    const std::unordered_set<const Graph2DNode*> goingNodes(nodesToGo.begin(), nodesToGo.end());
    std::unordered_set<Graph2DEdge*> goingEdges(edgesToGo.begin(), edgesToGo.end());
    for (const Graph2DNode* n : nodesToGo)
        goingEdges.insert(n->incidentEdges.begin(), n->incidentEdges.end());

    auto keepEdges = [&goingEdges](std::vector<Graph2DEdge*>& list) {
        list.erase(std::remove_if(list.begin(), list.end(), [&](Graph2DEdge* e) { return goingEdges.count(e) > 0; }),
                   list.end());
    };
    keepEdges(edges);
    keepEdges(selectedEdges);
    for (auto* list : {&nodes, &selectedNodes})
        for (Graph2DNode* n : *list)
            keepEdges(n->incidentEdges);
    for (Graph2DEdge* e : goingEdges)
        delete e;
    if (placementIndex_)
        for (Graph2DNode* n : nodesToGo)
            placementIndex_->remove(n);

    for (auto* list : {&nodes, &selectedNodes}) {
        std::vector<Graph2DNode*> kept;
        kept.reserve(list->size());
        for (Graph2DNode* n : *list) {
            if (goingNodes.count(n))
                delete n;  // its edges are gone already
            else
                kept.push_back(n);
        }
        *list = std::move(kept);
    }

    // Playback tells an edge's source by id, so ids must stay unique: number the nodes left by
    // their old order, which a node added next (numbered by the count) then follows.
    std::vector<Graph2DNode*> all(nodes);
    all.insert(all.end(), selectedNodes.begin(), selectedNodes.end());
    std::stable_sort(all.begin(), all.end(), [](const Graph2DNode* a, const Graph2DNode* b) { return a->id < b->id; });
    for (size_t k = 0; k < all.size(); ++k)
        all[k]->id = static_cast<int32_t>(k);
    return true;
}

void Graph2D::addEdges(const std::vector<std::pair<Graph2DNode*, Graph2DNode*>>& links)
{
    // addEdge(a, b) adds nothing when an edge listed at a already ends at b: the pairs (node,
    // end of an edge listed at it), kept in a set, answer that without scanning the lists. A
    // new edge a -> b is listed at a and at b, so it adds (a, b) and (b, b).
    struct PairHash {
        size_t operator()(const std::pair<const Graph2DNode*, const Graph2DNode*>& p) const
        {
            const auto a = reinterpret_cast<uintptr_t>(p.first), b = reinterpret_cast<uintptr_t>(p.second);
            return std::hash<uintptr_t>()(a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull + (a << 6)));
        }
    };
    std::unordered_set<std::pair<const Graph2DNode*, const Graph2DNode*>, PairHash> ends;
    size_t listed = 0;
    for (const auto* list : {&nodes, &selectedNodes})
        for (const Graph2DNode* node : *list)
            listed += node->incidentEdges.size();
    ends.reserve(listed + 2 * links.size());
    for (const auto* list : {&nodes, &selectedNodes})
        for (const Graph2DNode* node : *list)
            for (const Graph2DEdge* edge : node->incidentEdges)
                ends.emplace(node, edge->to);
    std::vector<std::pair<Graph2DNode*, Graph2DNode*>> added;
    for (const auto& [a, b] : links) {
        if (!a || !b || !ends.emplace(a, b).second)
            continue;
        ends.emplace(b, b);
        added.push_back({a, b});
    }

    std::vector<Graph2DEdge*> made(added.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, added.size(), 4096), [&](const tbb::blocked_range<size_t>& r) {
        for (size_t k = r.begin(); k != r.end(); ++k)
            made[k] = new Graph2DEdge(added[k].first, added[k].second);
    });
    edges.reserve(edges.size() + made.size());
    for (Graph2DEdge* edge : made) {
        edge->from->incidentEdges.push_back(edge);
        if (edge->to != edge->from)
            edge->to->incidentEdges.push_back(edge);
        edges.push_back(edge);
    }
}

void Graph2D::join2SelectedNodes()
{
    if (howManySelectedNodes() != 2) {
        showMessage("Error, attempt to join2SelectedNodes when howManySelectedNodes != 2");
        return;
    }
    addEdge(selectedNodes[0], selectedNodes[1]);
}

void Graph2D::deselectAll()
{
    nodes.insert(nodes.end(), selectedNodes.begin(), selectedNodes.end());
    selectedNodes.clear();
    edges.insert(edges.end(), selectedEdges.begin(), selectedEdges.end());
    selectedEdges.clear();
}

void Graph2D::moveSelected(double dx, double dy)
{
    for (Graph2DNode* node : selectedNodes) {
        if (placementIndex_)
            placementIndex_->remove(node);
        node->translate(dx, dy);
        if (placementIndex_)
            placementIndex_->insert(node);
    }
}

namespace {

std::unique_ptr<NodeOverlapIndex> indexOf(const std::vector<Graph2DNode*>& nodes,
                                          const std::vector<Graph2DNode*>& selectedNodes)
{
    auto index = std::make_unique<NodeOverlapIndex>();
    for (Graph2DNode* node : nodes)
        index->insert(node);
    for (Graph2DNode* node : selectedNodes)
        index->insert(node);
    return index;
}

} // namespace

// Whether a node overlaps is all a nudge depends on, so asking the index rather than scanning
// `nodes` then `selectedNodes` gives the same nudges, the same draws and the same end point.
void Graph2D::walkClear(NodeOverlapIndex& index, Graph2DNode* n)
{
    // The node met last is asked first: a walk through a crowd mostly stays on it for a few
    // steps, and while it overlaps the answer is yes without a look at the index.
    const Graph2DNode* blocker = nullptr;
    for (;;) {
        if (!blocker || blocker->id == n->id || !blocker->overlaps(n->x, n->y)) {
            blocker = index.firstOverlap(*n);
            if (!blocker)
                return;
        }
        seedRandomFromClock();
        const int a = nextRandom();
        const int b = nextRandom();
        n->translate(a % 2 == 0 ? n->radius : -n->radius, b % 2 == 0 ? n->radius : -n->radius);
    }
}

void Graph2D::resolveOverlap(Graph2DNode* n)
{
    if (placementIndex_) {
        // n may be indexed already (a listed node): take it out while it walks.
        const size_t before = placementIndex_->size();
        placementIndex_->remove(n);
        const bool wasIndexed = placementIndex_->size() != before;
        walkClear(*placementIndex_, n);
        if (wasIndexed)
            placementIndex_->insert(n);
        return;
    }
    auto index = indexOf(nodes, selectedNodes);
    walkClear(*index, n);
}

void Graph2D::resolveSelectedOverlaps()
{
    std::unique_ptr<NodeOverlapIndex> local;
    NodeOverlapIndex* index = placementIndex_.get();
    if (!index) {
        local = indexOf(nodes, selectedNodes);
        index = local.get();
    }
    // Each node walks with the others where they are now, earlier ones at their new places.
    for (Graph2DNode* node : selectedNodes) {
        index->remove(node);
        walkClear(*index, node);
        index->insert(node);
    }
}

Graph2D::PlacementBatch::PlacementBatch(Graph2D& graph) : graph_(graph), opened_(!graph.placementIndex_)
{
    if (opened_)
        graph_.placementIndex_ = indexOf(graph_.nodes, graph_.selectedNodes);
}

Graph2D::PlacementBatch::~PlacementBatch()
{
    if (opened_)  // an enclosing batch keeps its index
        graph_.placementIndex_.reset();
}

bool Graph2D::toggleNodeAt(double x, double y)
{
    for (auto it = nodes.begin(); it != nodes.end(); ++it)
        if ((*it)->hit(x, y)) {
            moveTo(nodes, selectedNodes, it);
            return true;
        }
    for (auto it = selectedNodes.begin(); it != selectedNodes.end(); ++it)
        if ((*it)->hit(x, y)) {
            moveTo(selectedNodes, nodes, it);
            return false;
        }
    return false;
}

bool Graph2D::toggleEdgeAt(double x, double y)
{
    for (auto it = edges.begin(); it != edges.end(); ++it)
        if ((*it)->hit(x, y)) {
            moveTo(edges, selectedEdges, it);
            return true;
        }
    for (auto it = selectedEdges.begin(); it != selectedEdges.end(); ++it)
        if ((*it)->hit(x, y)) {
            moveTo(selectedEdges, edges, it);
            return false;
        }
    return false;
}

void Graph2D::toggleNodesInRectangle(double xMin, double yMax, double xMax, double yMin)
{
    auto inside = [&](const Graph2DNode* n) {
        return xMin < n->x && n->x < xMax && yMin < n->y && n->y < yMax;
    };
    // The unselected list first, then the nodes that were selected before the call; a node
    // that stays goes to its own list's tail, so both lists keep their relative order.
    std::vector<Graph2DNode*> wereUnselected;
    wereUnselected.swap(nodes);
    std::vector<Graph2DNode*> wereSelected;
    wereSelected.swap(selectedNodes);
    std::vector<Graph2DNode*> nowSelected;
    for (Graph2DNode* n : wereUnselected)
        (inside(n) ? nowSelected : nodes).push_back(n);
    for (Graph2DNode* n : wereSelected)
        (inside(n) ? nodes : nowSelected).push_back(n);
    selectedNodes = std::move(nowSelected);
}

bool Graph2D::isNodeAt(double x, double y) const
{
    return std::any_of(nodes.begin(), nodes.end(), [&](auto* n) { return n->hit(x, y); })
        || isSelectedNodeAt(x, y);
}

bool Graph2D::isSelectedNodeAt(double x, double y) const
{
    return std::any_of(selectedNodes.begin(), selectedNodes.end(), [&](auto* n) { return n->hit(x, y); });
}

bool Graph2D::isEdgeAt(double x, double y) const
{
    return std::any_of(edges.begin(), edges.end(), [&](auto* e) { return e->hit(x, y); })
        || isSelectedEdgeAt(x, y);
}

bool Graph2D::isSelectedEdgeAt(double x, double y) const
{
    return std::any_of(selectedEdges.begin(), selectedEdges.end(), [&](auto* e) { return e->hit(x, y); });
}

Graph2DNode* Graph2D::findNodeContainingFrame(int32_t frame) const
{
    for (Graph2DNode* node : nodes)
        if (node->startFrame <= frame && frame <= node->endFrame)
            return node;
    showMessage("This should never happen. " + std::to_string(frame));
    return nullptr;
}

std::vector<Graph2DNode*> Graph2D::firstNodesContainingFrames(int32_t frameCount) const
{
    const int32_t n = std::max(0, frameCount);
    std::vector<Graph2DNode*> first(static_cast<size_t>(n), nullptr);
    // nextOpen[f]: a frame at or after f still without a node (n when none); followed with path
    // halving, so each frame is given its node once and long clips of older nodes cost nothing
    // where earlier nodes already hold the frames.
    std::vector<int32_t> nextOpen(static_cast<size_t>(n) + 1);
    std::iota(nextOpen.begin(), nextOpen.end(), 0);
    auto open = [&](int32_t f) {
        while (nextOpen[f] != f) {
            nextOpen[f] = nextOpen[nextOpen[f]];
            f = nextOpen[f];
        }
        return f;
    };
    for (Graph2DNode* node : nodes) {
        const int32_t lo = std::max(node->startFrame, 0);
        const int32_t hi = std::min(node->endFrame, n - 1);
        for (int32_t f = lo <= hi ? open(lo) : n; f <= hi; f = open(f)) {
            first[f] = node;
            nextOpen[f] = f + 1;
        }
    }
    return first;
}

} // namespace duolo
