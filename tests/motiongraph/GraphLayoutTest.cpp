// Graph layouts: no two nodes closer than their two radii and every node inside the graph area,
// on random graphs shaped like built ones; the time line's order within its rows.
#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphLayout.h"
#include "motiongraph/GraphView.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace duolo::test {
namespace {

constexpr double kWorld = GraphView::kDefaultWorldExtent;

// Clips cut from a take of `frames` frames: runs, single-frame transition sources, some clips
// sent by hand that overlap others, and random edges (continuations and jumps).
void randomGraph(Graph2D& g, std::mt19937& random, int frames)
{
    int start = 0;
    while (start < frames) {
        const int length = random() % 4 == 0 ? 1 : 1 + static_cast<int>(random() % 40);
        g.addNode(start, std::min(frames - 1, start + length - 1), 0, 0);
        start += length;
    }
    for (int k = 0; k < 5; ++k) {
        const int s = static_cast<int>(random() % static_cast<unsigned>(frames));
        g.addNode(s, std::min(frames - 1, s + 20), 0, 0);
    }
    g.deselectAll();
    const auto n = g.nodes.size();
    for (size_t k = 0; k + 1 < n; ++k)
        g.addEdge(g.nodes[k], g.nodes[k + 1]);
    for (size_t k = 0; k < n; ++k)
        g.addEdge(g.nodes[random() % n], g.nodes[random() % n]);
    // A few selected, so both lists are laid out.
    for (int k = 0; k < 3; ++k)
        g.selectNode(g.nodes[random() % g.nodes.size()]);
}

TEST(GraphLayout, RandomGraphsHaveNoOverlapsAndStayInside)
{
    FixedClock clock(5);
    std::mt19937 random(17);
    for (int frames : {1, 40, 900, 20000}) {
        for (bool timeline : {true, false}) {
            SCOPED_TRACE(testing::Message() << frames << (timeline ? " frames, time line" : " frames, force"));
            Graph2D g;
            randomGraph(g, random, frames);
            const std::vector<Graph2DNode*> before = g.nodes;
            std::string error, problem;
            ASSERT_TRUE(timeline ? layOutTimeline(g, kWorld, error) : layOutForce(g, kWorld, error)) << error;
            EXPECT_TRUE(layoutIsClear(g, kWorld, &problem)) << problem;
            EXPECT_EQ(g.nodes, before) << "a layout moves nodes, never reorders them";
            // Edges follow their nodes.
            for (const Graph2DEdge* e : g.edges) {
                if (e->from != e->to && e->from->x != e->to->x) {
                    EXPECT_DOUBLE_EQ(e->slope, (e->to->y - e->from->y) / (e->to->x - e->from->x));
                }
            }
            if (!timeline)
                continue;
            // Within a row (one y), a clip that starts later is never left of one that starts earlier.
            std::map<double, std::vector<const Graph2DNode*>> rows;
            for (const auto* list : {&g.nodes, &g.selectedNodes})
                for (const Graph2DNode* n : *list)
                    rows[n->y].push_back(n);
            for (auto& [y, row] : rows) {
                std::sort(row.begin(), row.end(), [](const Graph2DNode* a, const Graph2DNode* b) { return a->x < b->x; });
                for (size_t k = 1; k < row.size(); ++k)
                    EXPECT_LE(row[k - 1]->startFrame, row[k]->startFrame) << "row " << y;
            }
        }
    }
    // The overlap check itself finds a pair too close and a node outside.
    Graph2D g;
    g.addNode(0, 1, 0, 0);
    Graph2DNode* b = g.addNode(2, 3, 5, 0);
    EXPECT_TRUE(layoutIsClear(g, kWorld));
    b->x = 0.99;
    EXPECT_FALSE(layoutIsClear(g, kWorld));
    b->x = 600;
    EXPECT_FALSE(layoutIsClear(g, kWorld));
}

} // namespace
} // namespace duolo::test
