#include "motiongraph/GraphLayout.h"

#include "motiongraph/Graph2D.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

namespace duolo {
namespace {

// Rows lie this far apart, and nodes in a row at least this far: a little over two radii.
constexpr double kRowSpacing = 1.25;
constexpr double kGapInRow = 1.05;
constexpr double kMargin = 2.0;
constexpr double kUnitsPerClip = 3.0;

std::vector<Graph2DNode*> allNodes(Graph2D& graph)
{
    std::vector<Graph2DNode*> all(graph.nodes);
    all.insert(all.end(), graph.selectedNodes.begin(), graph.selectedNodes.end());
    return all;
}

// A signed row's place in the order 0, +1, -1, +2, -2, ...
int rowOrder(int row) { return row > 0 ? 2 * row - 1 : -2 * row; }

} // namespace

bool layOutTimeline(Graph2D& graph, double worldExtent, std::string& error)
{
    std::vector<Graph2DNode*> nodes = allNodes(graph);
    if (nodes.empty())
        return true;
    std::stable_sort(nodes.begin(), nodes.end(), [](const Graph2DNode* a, const Graph2DNode* b) {
        return a->startFrame != b->startFrame ? a->startFrame < b->startFrame : a->endFrame < b->endFrame;
    });
    int32_t firstFrame = nodes.front()->startFrame;
    int32_t lastFrame = firstFrame;
    for (const Graph2DNode* n : nodes)
        lastFrame = std::max(lastFrame, n->startFrame);
    const double half = worldExtent / 2.0 - kMargin;
    // About three units a clip, so that a small graph reads at the editor's usual zoom, and never
    // wider than the area, so that a long take fits whole.
    const double span = std::clamp(kUnitsPerClip * static_cast<double>(nodes.size()), 2.0 * kMargin, 2.0 * half);
    const double perFrame = lastFrame > firstFrame ? span / (lastFrame - firstFrame) : 0.0;
    const int maxRows = 2 * static_cast<int>(half / kRowSpacing) + 1;

    // The clip each one continues (it ends the frame before this one starts), by its edges.
    std::unordered_map<const Graph2DNode*, const Graph2DNode*> continues;
    for (const Graph2DNode* n : nodes)
        for (const Graph2DEdge* e : n->incidentEdges)
            if (e->to == n && e->from != n && e->from->endFrame + 1 == n->startFrame && !continues.count(n))
                continues[n] = e->from;

    std::vector<double> rowEnd;  // by row order: the x of the last node placed in each row
    std::unordered_map<const Graph2DNode*, int> rowOf;
    std::vector<std::pair<double, double>> placed(nodes.size());
    for (size_t k = 0; k < nodes.size(); ++k) {
        const Graph2DNode* n = nodes[k];
        const double x = -span / 2.0 + (n->startFrame - firstFrame) * perFrame;
        auto fits = [&](int order) {
            return order >= static_cast<int>(rowEnd.size()) || x - rowEnd[static_cast<size_t>(order)] > kGapInRow;
        };
        int preferred = 0;
        if (const auto it = continues.find(n); it != continues.end())
            if (const auto r = rowOf.find(it->second); r != rowOf.end())
                preferred = r->second;
        // Outward from the preferred row: preferred, then one either side, two either side, ...
        int chosen = std::numeric_limits<int>::min();
        for (int step = 0; step <= maxRows && chosen == std::numeric_limits<int>::min(); ++step)
            for (int row : {preferred + step, preferred - step}) {
                const int order = rowOrder(row);
                if (order < maxRows && fits(order)) {
                    chosen = row;
                    break;
                }
            }
        if (chosen == std::numeric_limits<int>::min()) {
            error = "the clips overlap too much in time to be laid out on a time line inside the graph area";
            return false;
        }
        const auto order = static_cast<size_t>(rowOrder(chosen));
        if (order >= rowEnd.size())
            rowEnd.resize(order + 1, -std::numeric_limits<double>::infinity());
        rowEnd[order] = x;
        rowOf[n] = chosen;
        placed[k] = {x, chosen * kRowSpacing};
    }
    for (size_t k = 0; k < nodes.size(); ++k) {
        nodes[k]->x = placed[k].first;
        nodes[k]->y = placed[k].second;
    }
    for (auto* list : {&graph.edges, &graph.selectedEdges})
        for (Graph2DEdge* e : *list)
            e->rebuildGeometry();
    return true;
}

bool layoutIsClear(const Graph2D& graph, double worldExtent, std::string* problem)
{
    const double half = worldExtent / 2.0;
    std::vector<const Graph2DNode*> nodes(graph.nodes.begin(), graph.nodes.end());
    nodes.insert(nodes.end(), graph.selectedNodes.begin(), graph.selectedNodes.end());
    for (const Graph2DNode* n : nodes)
        if (!(std::abs(n->x) <= half && std::abs(n->y) <= half)) {
            if (problem)
                *problem = "node " + std::to_string(n->id) + " lies outside the graph area";
            return false;
        }
    // Neighbours through a grid of cells as wide as the reach, so that large graphs stay fast.
    std::unordered_map<int64_t, std::vector<const Graph2DNode*>> cells;
    auto key = [](int64_t cx, int64_t cy) { return cx * 1000003 + cy; };
    for (const Graph2DNode* n : nodes)
        cells[key(static_cast<int64_t>(std::floor(n->x)), static_cast<int64_t>(std::floor(n->y)))].push_back(n);
    for (const Graph2DNode* n : nodes) {
        const auto cx = static_cast<int64_t>(std::floor(n->x));
        const auto cy = static_cast<int64_t>(std::floor(n->y));
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy) {
                const auto it = cells.find(key(cx + dx, cy + dy));
                if (it == cells.end())
                    continue;
                for (const Graph2DNode* m : it->second) {
                    if (m == n)
                        continue;
                    const double reach = n->radius + m->radius;
                    const double d2 = (n->x - m->x) * (n->x - m->x) + (n->y - m->y) * (n->y - m->y);
                    if (d2 <= reach * reach) {
                        if (problem)
                            *problem = "nodes " + std::to_string(n->id) + " and " + std::to_string(m->id) + " overlap";
                        return false;
                    }
                }
            }
    }
    return true;
}

} // namespace duolo
