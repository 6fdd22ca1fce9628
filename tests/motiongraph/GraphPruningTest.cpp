#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphPruning.h"
#include "skeleton/Group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace duolo {
namespace {

std::vector<Graph2DNode*> everyNode(const Graph2D& g)
{
    std::vector<Graph2DNode*> all(g.nodes);
    all.insert(all.end(), g.selectedNodes.begin(), g.selectedNodes.end());
    return all;
}

// A random graph of n clips with about `density` n edges (self-loops included) and a few nodes
// left selected, so both lists take part.
void buildRandomGraph(Graph2D& g, std::mt19937& random, int n, double density)
{
    std::vector<Graph2DNode*> made;
    for (int i = 0; i < n; ++i) {
        const int start = static_cast<int>(random() % 50);
        made.push_back(g.addNode(start, start + static_cast<int>(random() % 20), 3.0 * i, 0.0));
    }
    g.deselectAll();
    const int edges = static_cast<int>(density * n);
    for (int e = 0; e < edges; ++e)
        g.addEdge(made[random() % made.size()], made[random() % made.size()]);
    for (Graph2DNode* node : made)
        if (random() % 5 == 0) {
            g.nodes.erase(std::find(g.nodes.begin(), g.nodes.end(), node));
            g.selectedNodes.push_back(node);
        }
}

TEST(GraphPruning, KeepsTheLargestCycleClassOfRandomGraphs)
{
    std::mt19937 random(1234);
    int pruned = 0, acyclic = 0;
    for (int trial = 0; trial < 300; ++trial) {
        Graph2D g;
        buildRandomGraph(g, random, 1 + static_cast<int>(random() % 14), 0.4 + 0.2 * (trial % 6));
        // reach[a][b]: a walk from node a (both lists, in list order) arrives at b in one or more steps.
        const std::vector<Graph2DNode*> order = everyNode(g);
        const size_t n = order.size();
        const auto at = [&](const Graph2DNode* x) { return std::find(order.begin(), order.end(), x) - order.begin(); };
        std::vector<std::vector<bool>> reach(n, std::vector<bool>(n));
        for (const Graph2DEdge* e : g.edges)
            reach[at(e->from)][at(e->to)] = true;
        for (size_t k = 0; k < n; ++k)
            for (size_t i = 0; i < n; ++i)
                for (size_t j = 0; j < n; ++j)
                    reach[i][j] = reach[i][j] || (reach[i][k] && reach[k][j]);
        // The brute-force answer: classes of mutually reachable nodes that lie on a cycle, the
        // one with the most frames, then nodes, then the earliest first node in list order (the
        // classes come in the order of their first nodes, so a tie keeps the one met before).
        std::set<const Graph2DNode*> expected;
        long bestFrames = -1;
        for (size_t i = 0; i < n; ++i) {
            if (!reach[i][i])
                continue;
            std::set<const Graph2DNode*> cls;
            long frames = 0;
            for (size_t j = 0; j < n; ++j)
                if (reach[i][j] && reach[j][i]) {
                    cls.insert(order[j]);
                    frames += order[j]->endFrame - order[j]->startFrame + 1;
                }
            if (frames > bestFrames || (frames == bestFrames && cls.size() > expected.size())) {
                expected = cls;
                bestFrames = frames;
            }
        }
        // Kept nodes and edges between them, in list order (kept nodes stay where they are).
        using Ends = std::vector<std::pair<const Graph2DNode*, const Graph2DNode*>>;
        Ends keptEdges;
        for (const Graph2DEdge* e : g.edges)
            if (expected.count(e->from) && expected.count(e->to))
                keptEdges.emplace_back(e->from, e->to);
        std::vector<Graph2DNode*> keptOrder;
        std::copy_if(g.nodes.begin(), g.nodes.end(), std::back_inserter(keptOrder),
                     [&](const Graph2DNode* n) { return expected.count(n) > 0; });
        const int before = g.totalNodeCount();

        const PruneOutcome outcome = keepLargestCyclicComponent(g);
        ASSERT_EQ(outcome.hasCycle, !expected.empty()) << "trial " << trial;
        ASSERT_EQ(outcome.nodesBefore, before);
        if (expected.empty()) {
            EXPECT_EQ(g.totalNodeCount(), before);
            EXPECT_FALSE(outcome.changed);
            ++acyclic;
            continue;
        }
        pruned += outcome.changed;
        EXPECT_EQ(outcome.nodesKept, static_cast<int>(expected.size()));
        EXPECT_EQ(outcome.framesKept, bestFrames);
        EXPECT_EQ(g.nodes, keptOrder);
        Ends edgesAfter;
        for (const Graph2DEdge* e : g.edges)
            edgesAfter.emplace_back(e->from, e->to);
        EXPECT_EQ(edgesAfter, keptEdges);
        // Both lists hold just the class, every edge inside it: no dead end is left.
        const std::vector<Graph2DNode*> kept = everyNode(g);
        EXPECT_EQ(std::set<const Graph2DNode*>(kept.begin(), kept.end()), expected) << "trial " << trial;
    }
    EXPECT_GT(pruned, 100);
    EXPECT_GT(acyclic, 5);
}

TEST(GraphPruning, GroupPositionMovesOnlyWhenItsNodeGoes)
{
    Group group;
    Graph2D& g = *group.graph;
    Graph2DNode* lead = g.addNode(0, 9, 0.0, 0.0);    // leads into the cycle, never back
    Graph2DNode* a = g.addNode(10, 19, 3.0, 0.0);
    Graph2DNode* b = g.addNode(20, 29, 6.0, 0.0);
    g.deselectAll();
    g.addEdge(lead, a);
    g.addEdge(a, b);
    g.addEdge(b, a);
    group.currentNode = b;
    group.previousNode = lead;
    const PruneOutcome outcome = removeDeadEnds(group);
    EXPECT_TRUE(outcome.changed);
    EXPECT_EQ(outcome.framesBefore, 30);
    EXPECT_EQ(group.currentNode, b);
    EXPECT_EQ(group.previousNode, b);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(b->id, 1);
}

} // namespace
} // namespace duolo
