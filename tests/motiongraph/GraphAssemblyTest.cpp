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

using Link = std::pair<Graph2DNode*, Graph2DNode*>;

// A graph of `count` nodes with some edges already (self-loops among them), and links over it:
// repeats, self-loops, the reverse of existing edges, and links with a missing end.
void layout(Graph2D& graph, std::mt19937& random, int count, std::vector<Link>& links)
{
    for (int k = 0; k < count; ++k)
        graph.addNode(k, k, (k % 7) * 3.0, (k / 7) * 3.0);
    graph.deselectAll();
    std::uniform_int_distribution<int> pick(0, count - 1);
    for (int k = 0; k < count; ++k)
        graph.addEdge(graph.nodes[pick(random)], graph.nodes[k % 5 == 0 ? k : pick(random)]);
    for (int k = 0; k < 6 * count; ++k) {
        Graph2DNode* a = graph.nodes[pick(random)];
        Graph2DNode* b = k % 4 == 0 ? a : graph.nodes[pick(random)];
        links.emplace_back(k % 29 == 0 ? nullptr : a, b);
    }
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
        std::mt19937 a(seed), b(seed);
        Graph2D single, batch;
        std::vector<Link> singleLinks, batchLinks;
        layout(single, a, 40, singleLinks);
        layout(batch, b, 40, batchLinks);
        for (const auto& [from, to] : singleLinks)
            single.addEdge(from, to);
        batch.addEdges(batchLinks);

        EXPECT_EQ(edgeEnds(batch.edges), edgeEnds(single.edges));
        for (size_t k = 0; k < single.nodes.size(); ++k) {
            EXPECT_EQ(edgeEnds(batch.nodes[k]->incidentEdges), edgeEnds(single.nodes[k]->incidentEdges)) << k;
        }
        // The geometry too (not a number for a self-loop's slope in both).
        auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
        for (size_t k = 0; k < single.edges.size(); ++k) {
            EXPECT_TRUE(same(batch.edges[k]->slope, single.edges[k]->slope)) << k;
            EXPECT_TRUE(same(batch.edges[k]->arrowDx, single.edges[k]->arrowDx)) << k;
        }
    }
}

} // namespace
} // namespace duolo
