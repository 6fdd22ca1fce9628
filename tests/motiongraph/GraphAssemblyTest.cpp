// Edges added in one batch against addEdge one link at a time: the same edges in the same order,
// listed at the same nodes in the same order.
#include "motiongraph/Graph2D.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace duolo {
namespace {

// Two alike graphs of `count` nodes with some edges already (self-loops among them); links over
// them (repeats, self-loops, the reverse of existing edges, links with a missing end) go into
// `single` one by one and into `batch` at once.
void addLinks(Graph2D& single, Graph2D& batch, unsigned seed, int count)
{
    for (Graph2D* graph : {&single, &batch}) {
        for (int k = 0; k < count; ++k)
            graph->addNode(k, k, (k % 7) * 3.0, (k / 7) * 3.0);
        graph->deselectAll();
    }
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(0, count - 1);
    for (int k = 0; k < count; ++k) {
        const int from = pick(random), to = k % 5 == 0 ? k : pick(random);
        single.addEdge(single.nodes[from], single.nodes[to]);
        batch.addEdge(batch.nodes[from], batch.nodes[to]);
    }
    std::vector<std::pair<Graph2DNode*, Graph2DNode*>> links;
    for (int k = 0; k < 6 * count; ++k) {
        const int from = pick(random), to = k % 4 == 0 ? from : pick(random);
        single.addEdge(k % 29 == 0 ? nullptr : single.nodes[from], single.nodes[to]);
        links.emplace_back(k % 29 == 0 ? nullptr : batch.nodes[from], batch.nodes[to]);
    }
    batch.addEdges(links);
}

std::vector<std::pair<int32_t, int32_t>> edgeEnds(const std::vector<Graph2DEdge*>& edges)
{
    std::vector<std::pair<int32_t, int32_t>> ends;
    for (const Graph2DEdge* e : edges)
        ends.emplace_back(e->from->id, e->to->id);
    return ends;
}

TEST(GraphAssembly, EdgesInOneBatchAsAddedOneByOne)
{
    test::FixedClock clock(3);
    for (unsigned seed = 0; seed < 6; ++seed) {
        SCOPED_TRACE(seed);
        Graph2D single, batch;
        addLinks(single, batch, seed, 40);
        ASSERT_EQ(edgeEnds(batch.edges), edgeEnds(single.edges));
        for (size_t k = 0; k < single.nodes.size(); ++k)
            EXPECT_EQ(edgeEnds(batch.nodes[k]->incidentEdges), edgeEnds(single.nodes[k]->incidentEdges)) << k;
        // The geometry too (not a number for a self-loop's slope in both).
        auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
        for (size_t k = 0; k < single.edges.size(); ++k)
            EXPECT_TRUE(same(batch.edges[k]->slope, single.edges[k]->slope) &&
                        same(batch.edges[k]->arrowDx, single.edges[k]->arrowDx)) << k;
    }
}

} // namespace
} // namespace duolo
