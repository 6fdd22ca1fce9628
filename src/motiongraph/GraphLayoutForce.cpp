// The force-directed layout through Graphviz's C library (sfdp, which scales to large graphs).
#include "motiongraph/GraphLayout.h"

#include "motiongraph/Graph2D.h"

#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace duolo {
namespace {

// Graphviz keeps global state; one layout at a time.
std::mutex graphvizMutex;

// Graphviz measures in points (72 to the inch) and sizes nodes in inches: a node drawn one inch
// wide and set apart by its overlap removal is one graph unit wide here.
constexpr double kPointsPerUnit = 72.0;
constexpr const char* kNodeSize = "1.1";

char* text(const char* s) { return const_cast<char*>(s); }

} // namespace

bool layOutForce(Graph2D& graph, double worldExtent, std::string& error)
{
    std::vector<Graph2DNode*> nodes(graph.nodes);
    nodes.insert(nodes.end(), graph.selectedNodes.begin(), graph.selectedNodes.end());
    if (nodes.empty())
        return true;

    const std::lock_guard<std::mutex> lock(graphvizMutex);
    agseterr(AGMAX);  // the engine's warnings are ours to report, not stderr's
    GVC_t* gvc = gvContext();
    if (!gvc) {
        error = "the Graphviz layout engine cannot be started";
        return false;
    }
    Agraph_t* g = agopen(text("motiongraph"), Agstrictdirected, nullptr);
    agattr(g, AGRAPH, text("overlap"), text("prism"));
    agattr(g, AGRAPH, text("sep"), text("+4"));
    agattr(g, AGNODE, text("shape"), text("circle"));
    agattr(g, AGNODE, text("fixedsize"), text("true"));
    agattr(g, AGNODE, text("width"), text(kNodeSize));
    agattr(g, AGNODE, text("height"), text(kNodeSize));
    std::unordered_map<const Graph2DNode*, Agnode_t*> made;
    for (size_t k = 0; k < nodes.size(); ++k) {
        std::string name = std::to_string(k);
        made[nodes[k]] = agnode(g, name.data(), 1);
    }
    for (const auto* list : {&graph.edges, &graph.selectedEdges})
        for (const Graph2DEdge* e : *list)
            if (e->from != e->to)
                agedge(g, made[e->from], made[e->to], nullptr, 1);

    const bool laidOut = gvLayout(gvc, g, "sfdp") == 0;
    std::vector<std::pair<double, double>> at;
    if (laidOut) {
        for (const Graph2DNode* n : nodes) {
            const pointf p = ND_coord(made[n]);
            at.emplace_back(p.x / kPointsPerUnit, p.y / kPointsPerUnit);
        }
        gvFreeLayout(gvc, g);
    }
    agclose(g);
    gvFreeContext(gvc);
    if (!laidOut) {
        error = "the Graphviz layout engine (sfdp) failed on this graph";
        return false;
    }

    // Centred on the origin; the engine already keeps nodes apart, so the picture is only moved.
    double minX = at[0].first, maxX = minX, minY = at[0].second, maxY = minY;
    for (const auto& [x, y] : at) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    const double half = worldExtent / 2.0 - 1.0;
    if (maxX - minX > 2.0 * half || maxY - minY > 2.0 * half) {
        error = "the graph spreads wider than the graph area when its nodes are kept apart";
        return false;
    }
    const double cx = (minX + maxX) / 2.0, cy = (minY + maxY) / 2.0;
    std::vector<std::pair<double, double>> old;
    for (size_t k = 0; k < nodes.size(); ++k) {
        old.emplace_back(nodes[k]->x, nodes[k]->y);
        nodes[k]->x = at[k].first - cx;
        nodes[k]->y = at[k].second - cy;
    }
    std::string problem;
    if (!layoutIsClear(graph, worldExtent, &problem)) {
        for (size_t k = 0; k < nodes.size(); ++k)
            std::tie(nodes[k]->x, nodes[k]->y) = old[k];
        error = "the force-directed layout left " + problem;
        return false;
    }
    for (auto* list : {&graph.edges, &graph.selectedEdges})
        for (Graph2DEdge* e : *list)
            e->rebuildGeometry();
    return true;
}

} // namespace duolo
