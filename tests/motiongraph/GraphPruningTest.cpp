#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphPruning.h"
#include "skeleton/Group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

// reach[a] holds every node a walk from a can arrive at in one or more steps.
std::map<const Graph2DNode*, std::set<const Graph2DNode*>> reachability(const Graph2D& g)
{
    std::map<const Graph2DNode*, std::set<const Graph2DNode*>> reach;
    for (const Graph2DNode* from : everyNode(g)) {
        std::vector<const Graph2DNode*> open{from};
        auto& seen = reach[from];
        while (!open.empty()) {
            const Graph2DNode* n = open.back();
            open.pop_back();
            for (const Graph2DEdge* e : n->incidentEdges)
                if (e->from == n && seen.insert(e->to).second)
                    open.push_back(e->to);
        }
    }
    return reach;
}

TEST(GraphPruning, KeepsTheLargestCycleClassOfRandomGraphs)
{
    std::mt19937 random(1234);
    int pruned = 0, acyclic = 0;
    for (int trial = 0; trial < 300; ++trial) {
        Graph2D g;
        buildRandomGraph(g, random, 1 + static_cast<int>(random() % 14), 0.4 + 0.2 * (trial % 6));
        const auto reach = reachability(g);
        // The brute-force answer: classes of mutually reachable nodes that lie on a cycle, the
        // one with the most frames, then nodes, then the earliest first node in list order.
        const std::vector<Graph2DNode*> order = everyNode(g);
        std::set<const Graph2DNode*> expected;
        long bestFrames = -1;
        size_t bestFirst = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            const Graph2DNode* a = order[i];
            if (!reach.at(a).count(a))
                continue;
            std::set<const Graph2DNode*> cls;
            long frames = 0;
            size_t first = order.size();
            for (size_t j = 0; j < order.size(); ++j)
                if (reach.at(a).count(order[j]) && reach.at(order[j]).count(a)) {
                    cls.insert(order[j]);
                    frames += order[j]->endFrame - order[j]->startFrame + 1;
                    first = std::min(first, j);
                }
            if (frames > bestFrames || (frames == bestFrames && (cls.size() > expected.size() ||
                                                                 (cls.size() == expected.size() && first < bestFirst)))) {
                expected = cls;
                bestFrames = frames;
                bestFirst = first;
            }
        }
        std::vector<std::pair<int, int>> keptEdgesBefore;  // (start, end) frames of the kept ends, list order
        for (const Graph2DEdge* e : g.edges)
            if (expected.count(e->from) && expected.count(e->to))
                keptEdgesBefore.push_back({e->from->startFrame * 100 + e->from->endFrame, e->to->startFrame * 100 + e->to->endFrame});
        std::vector<const Graph2DNode*> keptOrder;
        for (const Graph2DNode* n : g.nodes)
            if (expected.count(n))
                keptOrder.push_back(n);
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
        ASSERT_EQ(g.totalNodeCount(), static_cast<int>(expected.size())) << "trial " << trial;
        EXPECT_EQ(outcome.nodesKept, static_cast<int>(expected.size()));
        EXPECT_EQ(outcome.framesKept, bestFrames);
        EXPECT_EQ(std::vector<const Graph2DNode*>(g.nodes.begin(), g.nodes.end()), keptOrder);
        std::vector<std::pair<int, int>> keptEdgesAfter;
        for (const Graph2DEdge* e : g.edges)
            keptEdgesAfter.push_back({e->from->startFrame * 100 + e->from->endFrame, e->to->startFrame * 100 + e->to->endFrame});
        EXPECT_EQ(keptEdgesAfter, keptEdgesBefore);
        // No dead end is left: every clip has a successor, and every clip reaches every other.
        const auto after = reachability(g);
        for (const Graph2DNode* n : everyNode(g)) {
            EXPECT_EQ(after.at(n).size(), expected.size()) << "trial " << trial;
            EXPECT_LT(n->id, g.totalNodeCount());
        }
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
    PruneOutcome outcome = removeDeadEnds(group);
    EXPECT_TRUE(outcome.changed);
    EXPECT_EQ(outcome.nodesKept, 2);
    EXPECT_EQ(outcome.framesKept, 20);
    EXPECT_EQ(outcome.framesBefore, 30);
    EXPECT_EQ(group.currentNode, b);
    EXPECT_EQ(group.previousNode, b);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(b->id, 1);

    // A chain without a cycle stays as it is.
    Group chain;
    Graph2DNode* x = chain.graph->addNode(0, 4, 0.0, 0.0);
    Graph2DNode* y = chain.graph->addNode(5, 9, 3.0, 0.0);
    chain.graph->deselectAll();
    chain.graph->addEdge(x, y);
    chain.currentNode = x;
    outcome = removeDeadEnds(chain);
    EXPECT_FALSE(outcome.hasCycle);
    EXPECT_FALSE(outcome.changed);
    EXPECT_EQ(chain.graph->totalNodeCount(), 2);
    EXPECT_EQ(chain.currentNode, x);
}

} // namespace
} // namespace duolo
