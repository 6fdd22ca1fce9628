#include "capture/Random.h"
#include "motiongraph/Graph2D.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

#include <cmath>

namespace duolo {
namespace {

using test::FixedClock;

// The directions a nudge takes right after seeding with `seconds`.
std::pair<double, double> nudgeDirection(uint32_t seconds)
{
    seedRandom(seconds);
    const int a = nextRandom();
    const int b = nextRandom();
    return {a % 2 == 0 ? 0.5 : -0.5, b % 2 == 0 ? 0.5 : -0.5};
}

TEST(Graph2DNodes, AddNodeNumbersSelectsAndKeepsPosition)
{
    FixedClock clock(7);
    Graph2D g;
    Graph2DNode* a = g.addNode(3, 9, 5.0, 5.0);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(a->currentFrame, 3);
    EXPECT_EQ(a->radius, 0.5);
    EXPECT_EQ(g.howManySelectedNodes(), 1);
    EXPECT_EQ(g.nodeCount(), 0);
    g.deselectAll();
    Graph2DNode* b = g.addNode(10, 12, -5.0, 5.0);
    EXPECT_EQ(b->id, 1);
    EXPECT_EQ(b->x, -5.0);
    EXPECT_EQ(b->y, 5.0);
}

TEST(Graph2DNodes, OverlappingNodeWalksDiagonallyUntilClear)
{
    for (uint32_t seconds : {1u, 2u, 3u, 12345u}) {
        FixedClock clock(seconds);
        const auto [dx, dy] = nudgeDirection(seconds);
        Graph2D g;
        g.addNode(0, 0, 0.0, 0.0);
        Graph2DNode* second = g.addNode(1, 1, 0.0, 0.0);
        // Two steps of 0.5 on each axis: the first leaves it 0.707 away (still overlapping),
        // the second 1.414 away, past the reach of 1.0.
        EXPECT_EQ(second->x, 2 * dx) << seconds;
        EXPECT_EQ(second->y, 2 * dy) << seconds;

        // A third node at the origin overlaps the first, and then the second on its way.
        Graph2DNode* third = g.addNode(2, 2, 0.0, 0.0);
        EXPECT_EQ(third->x, 4 * dx) << seconds;
        EXPECT_EQ(third->y, 4 * dy) << seconds;
    }
}

TEST(Graph2DNodes, OverlapTouchingAtExactlyTwoRadiiCounts)
{
    for (uint32_t seconds : {1u, 2u, 3u, 4u}) {
        FixedClock clock(seconds);
        const auto [dx, dy] = nudgeDirection(seconds);
        Graph2D g;
        g.addNode(0, 0, 0.0, 0.0);
        Graph2DNode* n = g.addNode(1, 1, 1.0, 0.0);  // exactly two radii away: overlapping
        if (dx > 0) {  // one step clears it
            EXPECT_EQ(n->x, 1.5);
            EXPECT_EQ(n->y, dy);
        } else {  // (0.5, dy) and (0, 2dy) still overlap (the latter exactly at 1.0)
            EXPECT_EQ(n->x, -0.5);
            EXPECT_EQ(n->y, 3 * dy);
        }
    }
}

TEST(Graph2DNodes, AdvanceFrameWrapsAtTheEndOfTheClip)
{
    Graph2DNode n(4, 6, 0, 0.0, 0.0);
    EXPECT_FALSE(n.advanceFrame());
    EXPECT_EQ(n.currentFrame, 5);
    EXPECT_FALSE(n.advanceFrame());
    EXPECT_TRUE(n.advanceFrame());
    EXPECT_EQ(n.currentFrame, 4);

    Graph2DNode single(3, 3, 0, 0.0, 0.0);
    EXPECT_TRUE(single.advanceFrame());
    EXPECT_EQ(single.currentFrame, 3);

    // The largest frame a clip can name wraps without overflowing (UBSan watches this).
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    Graph2DNode last(top - 1, top, 0, 0.0, 0.0);
    EXPECT_FALSE(last.advanceFrame());
    EXPECT_EQ(last.currentFrame, top);
    EXPECT_TRUE(last.advanceFrame());
    EXPECT_EQ(last.currentFrame, top - 1);
}

TEST(Graph2DNodes, HitTestIncludesTheRim)
{
    Graph2DNode n(0, 0, 0, 1.0, 1.0);
    EXPECT_TRUE(n.hit(1.5, 1.0));
    EXPECT_TRUE(n.hit(1.0, 0.5));
    EXPECT_FALSE(n.hit(1.36, 1.36));
    EXPECT_TRUE(n.hit(1.35, 1.35));
}

class Graph2DEdges : public ::testing::Test {
protected:
    FixedClock clock{11};
    Graph2D g;
    Graph2DNode* a = nullptr;
    Graph2DNode* b = nullptr;
    void SetUp() override
    {
        a = g.addNode(0, 4, 0.0, 0.0);
        b = g.addNode(5, 9, 4.0, 2.0);
        g.deselectAll();
    }
};

TEST_F(Graph2DEdges, SecondEdgeBetweenTheSameNodesIsIgnoredButTheReverseIsAdded)
{
    ASSERT_NE(g.addEdge(a, b), nullptr);
    EXPECT_EQ(g.addEdge(a, b), nullptr);
    EXPECT_EQ(g.edgeCount(), 1);
    Graph2DEdge* back = g.addEdge(b, a);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(g.edgeCount(), 2);
    EXPECT_EQ(a->incidentEdges.size(), 2u);
    EXPECT_EQ(b->incidentEdges.size(), 2u);
    EXPECT_EQ(back->from, b);
    EXPECT_EQ(back->to, a);
}

TEST_F(Graph2DEdges, SelfLoopIsListedOnceAndNotRepeated)
{
    Graph2DEdge* loop = g.addEdge(a, a);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(a->incidentEdges.size(), 1u);
    EXPECT_EQ(g.addEdge(a, a), nullptr);
    EXPECT_EQ(g.edgeCount(), 1);
}

TEST_F(Graph2DEdges, SelfLoopIsNotAddedWhenTheNodeAlreadyHasAnIncomingEdge)
{
    // The duplicate test looks at every incident edge, incoming ones too: b -> a ends at a.
    g.addEdge(b, a);
    EXPECT_EQ(g.addEdge(a, a), nullptr);
    EXPECT_EQ(g.edgeCount(), 1);
    // The other way round is a genuinely new edge.
    EXPECT_NE(g.addEdge(b, b), nullptr);
}

TEST_F(Graph2DEdges, DestroyingTheGraphDestroysEachEdgeOnce)
{
    // Self-loops on both nodes and edges both ways: a double delete or a dangling entry shows
    // up under the sanitizers and as a crash here.
    auto graph = std::make_unique<Graph2D>();
    Graph2DNode* x = graph->addNode(0, 0, 0.0, 0.0);
    Graph2DNode* y = graph->addNode(1, 1, 5.0, 5.0);
    graph->addEdge(x, x);
    graph->addEdge(x, y);
    graph->addEdge(y, x);
    graph->addEdge(y, y);
    graph->toggleEdgeAt(2.5, 2.5);
    graph.reset();
    SUCCEED();
}

TEST_F(Graph2DEdges, DestroyingANodeUnlistsItsEdgesAtTheOtherEnd)
{
    auto* lone = new Graph2DNode(20, 20, 9, 10.0, 10.0);
    auto* edge = new Graph2DEdge(lone, b);
    lone->incidentEdges.push_back(edge);
    b->incidentEdges.push_back(edge);
    auto* loop = new Graph2DEdge(lone, lone);
    lone->incidentEdges.push_back(loop);
    delete lone;
    EXPECT_TRUE(b->incidentEdges.empty());
}

TEST_F(Graph2DEdges, JoinNeedsExactlyTwoSelectedNodes)
{
    test::CapturedMessages messages;
    g.join2SelectedNodes();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], "Error, attempt to join2SelectedNodes when howManySelectedNodes != 2");
    EXPECT_EQ(g.edgeCount(), 0);

    EXPECT_TRUE(g.toggleNodeAt(4.0, 2.0));  // b first
    EXPECT_TRUE(g.toggleNodeAt(0.0, 0.0));  // then a
    g.join2SelectedNodes();
    ASSERT_EQ(g.edgeCount(), 1);
    EXPECT_EQ(g.edges[0]->from, b);
    EXPECT_EQ(g.edges[0]->to, a);
    ASSERT_EQ(g.howManySelectedNodes(), 2);
    EXPECT_EQ(g.selectedNodes[0], b);
    EXPECT_EQ(g.selectedNodes[1], a);
    EXPECT_EQ(messages.messages.size(), 1u);
}

TEST_F(Graph2DEdges, GeometryOfARisingEdge)
{
    Graph2DEdge* e = g.addEdge(a, b);  // (0,0) -> (4,2): slope 0.5
    EXPECT_DOUBLE_EQ(e->slope, 0.5);
    const double w2 = 0.04;
    const double A = std::sqrt(w2 / (1.0 / 0.25 + 1.0));
    const double B = std::sqrt(w2 / (0.25 + 1.0));
    EXPECT_DOUBLE_EQ(e->offX, B);
    EXPECT_DOUBLE_EQ(e->offY, A);
    // s > 0 turns A around for the corners.
    EXPECT_DOUBLE_EQ(e->cornerX[0], -A);
    EXPECT_DOUBLE_EQ(e->cornerY[0], B);
    EXPECT_DOUBLE_EQ(e->cornerX[1], A);
    EXPECT_DOUBLE_EQ(e->cornerY[1], -B);
    EXPECT_DOUBLE_EQ(e->cornerX[2], 4.0 + A);
    EXPECT_DOUBLE_EQ(e->cornerY[2], 2.0 - B);
    EXPECT_DOUBLE_EQ(e->cornerX[3], 4.0 - A);
    EXPECT_DOUBLE_EQ(e->cornerY[3], 2.0 + B);
    EXPECT_DOUBLE_EQ(e->arrowDx, -0.5 * std::cos(std::atan(0.5)));
    EXPECT_DOUBLE_EQ(e->arrowDy, -0.5 * std::sin(std::atan(0.5)));

    EXPECT_TRUE(e->hit(2.0, 1.0));
    EXPECT_FALSE(e->hit(2.0, 1.5));
    EXPECT_FALSE(e->hit(5.0, 2.5));
    EXPECT_TRUE(g.isEdgeAt(2.0, 1.0));
    EXPECT_FALSE(g.isSelectedEdgeAt(2.0, 1.0));
}

TEST_F(Graph2DEdges, GeometryOfFallingHorizontalAndBackwardEdges)
{
    g.moveSelected(1.0, 1.0);  // nothing selected: nothing moves
    EXPECT_EQ(b->x, 4.0);

    Graph2DEdge* back = g.addEdge(b, a);  // (4,2) -> (0,0): from.x > to.x, slope 0.5
    EXPECT_TRUE(back->hit(2.0, 1.0));
    EXPECT_FALSE(back->hit(2.0, 1.4));

    Graph2DNode* c = g.addNode(10, 12, 8.0, 0.0);
    g.deselectAll();
    Graph2DEdge* falling = g.addEdge(b, c);  // (4,2) -> (8,0): slope -0.5
    EXPECT_DOUBLE_EQ(falling->slope, -0.5);
    EXPECT_LT(falling->offX, 0.0);
    EXPECT_DOUBLE_EQ(falling->arrowDx, 0.5 * std::cos(std::atan(-0.5)));
    EXPECT_DOUBLE_EQ(falling->arrowDy, 0.5 * std::sin(std::atan(-0.5)));
    EXPECT_TRUE(falling->hit(6.0, 1.0));

    Graph2DEdge* flat = g.addEdge(a, c);  // (0,0) -> (8,0): slope 0
    EXPECT_EQ(flat->slope, 0.0);
    EXPECT_EQ(flat->arrowDx, 0.5);
    EXPECT_EQ(flat->arrowDy, 0.0);
    EXPECT_TRUE(flat->hit(4.0, 0.1));
    EXPECT_FALSE(flat->hit(4.0, 0.3));
}

TEST_F(Graph2DEdges, MovingSelectedNodesRebuildsTheirEdges)
{
    Graph2DEdge* e = g.addEdge(a, b);
    EXPECT_TRUE(g.toggleNodeAt(4.0, 2.0));
    g.moveSelected(0.0, 2.0);  // b to (4, 4): slope 1
    EXPECT_EQ(b->y, 4.0);
    EXPECT_DOUBLE_EQ(e->slope, 1.0);
    EXPECT_TRUE(e->hit(2.0, 2.0));
    EXPECT_EQ(a->x, 0.0);
}

TEST_F(Graph2DEdges, VerticalAndCoincidentEdgesDoNotCrash)
{
    Graph2DNode* above = g.addNode(20, 20, 0.0, 5.0);
    g.deselectAll();
    Graph2DEdge* vertical = g.addEdge(a, above);
    EXPECT_TRUE(std::isinf(vertical->slope));
    Graph2DEdge* loop = g.addEdge(b, b);
    EXPECT_TRUE(std::isnan(loop->slope));
    EXPECT_EQ(loop->arrowDx, 0.5);
    EXPECT_FALSE(loop->hit(4.0, 2.0));
}

TEST(Graph2DSelection, ToggleNodePrefersTheUnselectedNode)
{
    FixedClock clock(3);
    Graph2D g;
    Graph2DNode* first = g.addNode(0, 0, 0.0, 0.0);
    g.deselectAll();
    Graph2DNode* second = g.addNode(1, 1, 0.0, 0.0);  // nudged to (+-1, +-1)
    // Put the second under the point as well, still selected.
    second->x = 0.2;
    second->y = 0.0;
    EXPECT_TRUE(g.isSelectedNodeAt(0.1, 0.0));
    EXPECT_TRUE(g.toggleNodeAt(0.1, 0.0));
    ASSERT_EQ(g.howManySelectedNodes(), 2);
    EXPECT_EQ(g.selectedNodes[0], second);
    EXPECT_EQ(g.selectedNodes[1], first);
    // Now both are selected: the first selected one hit goes back.
    EXPECT_FALSE(g.toggleNodeAt(0.1, 0.0));
    ASSERT_EQ(g.nodeCount(), 1);
    EXPECT_EQ(g.nodes[0], second);
    EXPECT_FALSE(g.toggleNodeAt(30.0, 30.0));
    EXPECT_FALSE(g.isNodeAt(30.0, 30.0));
}

TEST(Graph2DSelection, DeselectAllAppendsInSelectionOrder)
{
    FixedClock clock(3);
    Graph2D g;
    Graph2DNode* n0 = g.addNode(0, 0, 0.0, 0.0);
    Graph2DNode* n1 = g.addNode(1, 1, 5.0, 0.0);
    Graph2DNode* n2 = g.addNode(2, 2, 10.0, 0.0);
    g.deselectAll();
    Graph2DEdge* e01 = g.addEdge(n0, n1);
    Graph2DEdge* e12 = g.addEdge(n1, n2);
    EXPECT_TRUE(g.toggleNodeAt(10.0, 0.0));
    EXPECT_TRUE(g.toggleNodeAt(0.0, 0.0));
    EXPECT_TRUE(g.toggleEdgeAt(7.5, 0.0));
    EXPECT_TRUE(g.toggleEdgeAt(2.5, 0.0));
    EXPECT_EQ(g.howManySelectedEdges(), 2);
    Graph2DNode* n3 = g.addNode(3, 3, 20.0, 0.0);
    g.deselectAll();
    EXPECT_EQ(g.nodes, (std::vector<Graph2DNode*>{n1, n2, n0, n3}));
    EXPECT_EQ(g.edges, (std::vector<Graph2DEdge*>{e12, e01}));
    EXPECT_EQ(g.howManySelectedNodes(), 0);
    EXPECT_EQ(g.howManySelectedEdges(), 0);
    // Toggling a selected edge off puts it back at the tail.
    EXPECT_TRUE(g.toggleEdgeAt(7.5, 0.0));
    EXPECT_FALSE(g.toggleEdgeAt(7.5, 0.0));
    EXPECT_EQ(g.edges, (std::vector<Graph2DEdge*>{e01, e12}));
}

TEST(Graph2DSelection, RectangleFlipsNodesStrictlyInside)
{
    FixedClock clock(3);
    Graph2D g;
    Graph2DNode* in1 = g.addNode(0, 0, 1.0, 1.0);
    Graph2DNode* out = g.addNode(1, 1, 10.0, 1.0);
    Graph2DNode* edge = g.addNode(2, 2, 4.0, 1.0);  // on the rectangle's side: not inside
    g.deselectAll();
    Graph2DNode* in2 = g.addNode(3, 3, 2.5, 2.5);   // selected, inside
    Graph2DNode* outSel = g.addNode(4, 4, -6.0, -6.0);  // selected, outside
    g.toggleNodesInRectangle(0.0, 4.0, 4.0, 0.0);
    EXPECT_EQ(g.selectedNodes, (std::vector<Graph2DNode*>{in1, outSel}));
    EXPECT_EQ(g.nodes, (std::vector<Graph2DNode*>{out, edge, in2}));
}

TEST(Graph2DSearch, FindNodeContainingFrameLooksAtUnselectedNodesOnly)
{
    FixedClock clock(3);
    test::CapturedMessages messages;
    Graph2D g;
    Graph2DNode* early = g.addNode(0, 9, 0.0, 0.0);
    g.deselectAll();
    g.addNode(5, 20, 10.0, 0.0);  // still selected
    EXPECT_EQ(g.findNodeContainingFrame(9), early);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(g.findNodeContainingFrame(12), nullptr);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], "This should never happen. 12");
    g.deselectAll();
    EXPECT_EQ(g.findNodeContainingFrame(7), early);  // first in list order wins
    EXPECT_EQ(g.findNodeContainingFrame(12)->startFrame, 5);
}

} // namespace
} // namespace duolo
