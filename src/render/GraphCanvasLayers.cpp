#include "render/GraphCanvasLayers.h"

#include "motiongraph/Graph2D.h"
#include "render/GraphDrawing.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace duolo {

namespace {

// A running 64-bit hash of what a layer shows. A layer is redrawn when its hash changes, so
// every value its picture depends on goes in.
struct Key {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    void add(uint64_t v)
    {
        h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    }
    void add(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        add(bits);
    }
    void add(const void* p) { add(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))); }
};

Key viewKey(const GraphView& view, QSize size, bool crowded, int kind)
{
    Key k;
    for (double v : {view.worldExtent, view.centreX, view.centreY, view.nodeSizeFactor, view.lineSizeFactor})
        k.add(v);
    for (int64_t v : {int64_t{view.zoom}, int64_t{view.maximumZoom}, int64_t{view.width}, int64_t{view.height},
                      int64_t{size.width()}, int64_t{size.height()}, int64_t{crowded}, int64_t{kind}})
        k.add(static_cast<uint64_t>(v));
    return k;
}

// Whether a node is one of the selected ones: a short list is scanned, a long one hashed.
class SelectedNodes {
public:
    explicit SelectedNodes(const std::vector<Graph2DNode*>& nodes) : list_(nodes)
    {
        if (nodes.size() > 16)
            set_.insert(nodes.begin(), nodes.end());
    }
    bool empty() const { return list_.empty(); }
    bool holds(const Graph2DNode* n) const
    {
        if (list_.size() > 16)
            return set_.count(n) != 0;
        return std::find(list_.begin(), list_.end(), n) != list_.end();
    }

private:
    const std::vector<Graph2DNode*>& list_;
    std::unordered_set<const Graph2DNode*> set_;
};

} // namespace

template <class Fill>
void GraphCanvasLayers::lay(QPainter& painter, Layer& layer, uint64_t key, QSize size, Fill&& fill)
{
    if (layer.key == key && layer.image.size() == size) {
        ++reused_;
    } else {
        layer.key = key;
        if (layer.image.size() != size)
            layer.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        layer.image.fill(Qt::transparent);
        QPainter layerPainter(&layer.image);
        fill(layerPainter);
    }
    painter.drawImage(0, 0, layer.image);
}

namespace {

// Whether the segment from a to b comes within `margin` pixels of the box.
bool segmentNearBox(CanvasPixel a, CanvasPixel b, const QRect& box, double margin)
{
    const double left = box.left() - margin, right = box.right() + margin;
    const double top = box.top() - margin, bottom = box.bottom() + margin;
    double x0 = a.x - left, y0 = a.y - top, x1 = b.x - left, y1 = b.y - top;
    return clipSegmentToBox(x0, y0, x1, y1, right - left, bottom - top);
}

// The box a loop circle drawn at `centre` covers (see drawLoop), with its pen.
QRect loopBox(CanvasPixel centre, int pen)
{
    return {centre.x - 21 - pen, centre.y - 21 - pen, 28 + 2 * pen, 28 + 2 * pen};
}

bool isLoop(const Graph2DEdge& e)
{
    return e.from && e.to && isDrawnAsLoop(e.from->x, e.from->y, e.to->x, e.to->y);
}

// Marks in `near` the unchanged edges after position `after` that come within `margin` of one
// of the boxes.
void markNear(const GraphView& view, const Graph2D& graph, const std::vector<char>& moving, size_t after,
              const std::vector<QRect>& boxes, double margin, std::vector<char>& near)
{
    QRect reach;
    for (const QRect& box : boxes)
        reach = reach.united(box);
    for (size_t k = after + 1; k < graph.edges.size(); ++k) {
        const Graph2DEdge* e = graph.edges[k];
        if (moving[k] || !e->from || !e->to || isLoop(*e))
            continue;
        const auto a = view.toPixel(e->from->x, e->from->y);
        const auto b = view.toPixel(e->to->x, e->to->y);
        if (!a || !b || !segmentNearBox(*a, *b, reach, margin))
            continue;
        for (const QRect& box : boxes)
            if (segmentNearBox(*a, *b, box, margin)) {
                near[k] = 1;
                break;
            }
    }
}

// How far an edge's line and arrowhead reach from the segment between its ends: about a node.
double edgeReach(const GraphView& view, int pen)
{
    return view.width / view.visibleWidth() + pen + 4.0;
}

// Beyond this many edge-and-loop pairs to test, a group whose loops must be redrawn is drawn
// directly instead.
constexpr double kMostLoopTests = 2e7;

} // namespace

bool GraphCanvasLayers::findRedrawn(const GraphView& view, const Graph2D& graph, const std::vector<char>& moving,
                                    size_t firstMoving, std::vector<size_t>& redrawn)
{
    redrawn.clear();
    const int pen = std::max(1, view.lineWidth(GraphLineKind::Edge));
    std::vector<QRect> loops;
    std::vector<char> near(graph.edges.size(), 0);
    for (size_t k = firstMoving + 1; k < graph.edges.size(); ++k) {
        const Graph2DEdge* e = graph.edges[k];
        if (moving[k] || !isLoop(*e))
            continue;
        if (const auto c = view.toPixel(e->from->x, e->from->y)) {
            loops.push_back(loopBox(*c, pen));
            near[k] = 1;
        }
    }
    if (loops.empty())
        return true;
    if (static_cast<double>(graph.edges.size()) * static_cast<double>(loops.size()) > kMostLoopTests)
        return false;
    markNear(view, graph, moving, firstMoving, loops, edgeReach(view, pen), near);
    for (size_t k = 0; k < near.size(); ++k)
        if (near[k])
            redrawn.push_back(k);
    return true;
}

void GraphCanvasLayers::drawGroup(QPainter& painter, const GraphView& view, const Graph2D& graph, uint32_t colour,
                                  GroupLayers& layers, QSize size)
{
    const bool crowded = isCrowded(graph);
    const SelectedNodes selected(graph.selectedNodes);
    std::vector<Graph2DEdge*> still;
    still.reserve(graph.edges.size());
    std::vector<char> moving(graph.edges.size(), 0);
    size_t firstMoving = graph.edges.size();
    Key edgeKey = viewKey(view, size, crowded, 0);
    for (size_t k = 0; k < graph.edges.size(); ++k) {
        Graph2DEdge* e = graph.edges[k];
        if (!e->from || !e->to)
            continue;  // not drawn
        if (!selected.empty() && (selected.holds(e->from) || selected.holds(e->to))) {
            moving[k] = 1;
            firstMoving = std::min(firstMoving, k);
            continue;
        }
        still.push_back(e);
        edgeKey.add(e);
        for (double v : {e->from->x, e->from->y, e->to->x, e->to->y})
            edgeKey.add(v);
    }
    edgeKey.add(static_cast<uint64_t>(firstMoving));
    // Edges of one pen may be drawn in any order but for loop circles, whose white fill covers
    // what came before them in list order. A moving edge is drawn over the layer of unchanged
    // ones, so every unchanged loop after the first moving edge is drawn again over it, in
    // list order with the moving edges and the unchanged edges that reach the loop.
    const bool fresh = layers.edges.key != edgeKey.h || layers.edges.image.size() != size;
    if (fresh && firstMoving < graph.edges.size()) {
        layers.redrawnValid = findRedrawn(view, graph, moving, firstMoving, layers.redrawn);
    } else if (fresh) {
        layers.redrawn.clear();
        layers.redrawnValid = true;
    }
    if (!layers.redrawnValid) {
        layers.edges.key = 0;  // found afresh next time
        drawGraph(painter, view, graph, colour);
        return;
    }
    if (!still.empty())
        lay(painter, layers.edges, edgeKey.h, size,
            [&](QPainter& p) { drawGraphEdges(p, view, still, GraphLineKind::Edge, crowded); });
    // A moving loop covers, in turn, the unchanged edges before it that reach it: those after
    // it are drawn again over it.
    const int pen = std::max(1, view.lineWidth(GraphLineKind::Edge));
    std::vector<QRect> movingLoops;
    size_t firstMovingLoop = graph.edges.size();
    for (size_t k = firstMoving; k < graph.edges.size(); ++k)
        if (moving[k] && isLoop(*graph.edges[k]))
            if (const auto c = view.toPixel(graph.edges[k]->from->x, graph.edges[k]->from->y)) {
                movingLoops.push_back(loopBox(*c, pen));
                firstMovingLoop = std::min(firstMovingLoop, k);
            }
    std::vector<char> near(movingLoops.empty() ? 0 : graph.edges.size(), 0);
    if (!movingLoops.empty())
        markNear(view, graph, moving, firstMovingLoop, movingLoops, edgeReach(view, pen), near);
    std::vector<Graph2DEdge*> over;
    auto redrawn = layers.redrawn.begin();
    for (size_t k = firstMoving; k < graph.edges.size(); ++k) {
        const bool again = redrawn != layers.redrawn.end() && *redrawn == k;
        if (again)
            ++redrawn;
        if (moving[k] || again || (!near.empty() && near[k]))
            over.push_back(graph.edges[k]);
    }
    drawGraphEdges(painter, view, over, GraphLineKind::Edge, crowded);
    drawGraphEdges(painter, view, graph.selectedEdges, GraphLineKind::SelectedEdge, crowded);

    Key nodeKey = viewKey(view, size, crowded, 1);
    nodeKey.add(static_cast<uint64_t>(colour));
    for (const Graph2DNode* n : graph.nodes) {
        nodeKey.add(n);
        nodeKey.add(n->x);
        nodeKey.add(n->y);
    }
    const QColor fill = colourFromColourRef(colour);
    if (!graph.nodes.empty())
        lay(painter, layers.nodes, nodeKey.h, size,
            [&](QPainter& p) { drawGraphNodes(p, view, graph.nodes, fill, crowded); });
    drawGraphNodes(painter, view, graph.selectedNodes, GraphColours::selected(), crowded);
}

void GraphCanvasLayers::draw(QPainter& painter, const GraphView& view, const MotionCaptureSession& session,
                             int groupNumber)
{
    reused_ = 0;
    QPaintDevice* device = painter.device();
    const bool plainImage = device && device->devType() == QInternal::Image && painter.transform().isIdentity()
                         && !painter.hasClipping();
    if (!plainImage) {
        drawGraphCanvas(painter, view, session, groupNumber);
        return;
    }
    const QSize size(device->width(), device->height());
    drawGraphBackground(painter, view);
    drawGraphGridAndBorder(painter, view);
    if (view.edgeDragging)
        drawProvisionalEdge(painter, view);
    groups_.resize(static_cast<size_t>(std::max(0, session.groupCount())));
    for (int g = 0; g < session.groupCount(); ++g) {
        if (!view.showAllGroups && g != groupNumber)
            continue;
        const Group& group = *session.groups[static_cast<size_t>(g)];
        if (group.graph)
            drawGroup(painter, view, *group.graph, group.colour, groups_[static_cast<size_t>(g)], size);
    }
    if (view.rectangleSelecting)
        drawSelectionRectangle(painter, view);
}

} // namespace duolo
