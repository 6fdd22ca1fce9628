#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphView.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo {
namespace {

GraphView canvas(int w, int h, int zoom = 16)
{
    GraphView v;
    v.width = w;
    v.height = h;
    v.zoom = zoom;
    return v;
}

TEST(GraphView, MapsBetweenGraphPointsAndPixelsTruncatingTowardZero)
{
    GraphView v = canvas(400, 300);  // 64 x 48 graph units visible
    EXPECT_DOUBLE_EQ(v.visibleWidth(), 64.0);
    EXPECT_DOUBLE_EQ(v.visibleHeight(), 48.0);
    const GraphPoint topLeft = v.toGraph(0, 0);
    EXPECT_DOUBLE_EQ(topLeft.x, -32.0);
    EXPECT_DOUBLE_EQ(topLeft.y, 24.0);  // y points up
    EXPECT_EQ(v.toPixel(0.0, 0.0), (CanvasPixel{200, 150}));
    EXPECT_EQ(v.toPixel(10.0, -10.0), (CanvasPixel{262, 212}));  // 262.5 and 212.5 cut
    // Just left of the canvas: -0.625 pixels truncates to 0, not -1.
    EXPECT_EQ(v.toPixel(-32.1, 24.0), (CanvasPixel{0, 0}));

    v.setCentre(5.0, -3.0);
    const GraphPoint back = v.toGraph(*v.toPixel(7.5, 1.25));
    EXPECT_NEAR(back.x, 7.5, 64.0 / 400);
    EXPECT_NEAR(back.y, 1.25, 48.0 / 300);

    // Points no pixel can hold (not-a-number corners, infinities) have no pixel.
    EXPECT_FALSE(v.toPixel(std::nan(""), 0.0));
    EXPECT_FALSE(v.toPixel(0.0, INFINITY));
    EXPECT_FALSE(v.toPixel(1e300, 0.0));
}

TEST(GraphView, CanvasTestsForPressesAndThePositionDisplay)
{
    GraphView v = canvas(400, 300);
    EXPECT_FALSE(v.acceptsPress({0, 5}));
    EXPECT_TRUE(v.acceptsPress({1, 1}));
    EXPECT_TRUE(v.acceptsPress({401, 301}));
    EXPECT_FALSE(v.acceptsPress({402, 10}));
    EXPECT_TRUE(v.showsPosition({0, 0}));
    EXPECT_FALSE(v.showsPosition({-1, 10}));
    EXPECT_FALSE(v.showsPosition({10, 302}));
    // At zoom 1 the canvas shows beyond the graph area: its corner is off the square.
    v.zoom = 1;
    v.setCentre(-1000.0, 0.0);
    EXPECT_FALSE(v.showsPosition({0, 150}));
    EXPECT_TRUE(v.showsPosition({300, 150}));
}

TEST(GraphView, CentreIsClampedTowardTheOriginByZoom)
{
    // Zoom 1: the whole 1024-unit square plus an overhang of an eighth of the visible width.
    GraphView v = canvas(400, 300, 1);
    v.setCentre(300.0, -300.0);
    EXPECT_DOUBLE_EQ(v.centreX, 128.0);   // m = 512 + 128 = 640, half width 512
    EXPECT_DOUBLE_EQ(v.centreY, -256.0);  // half height 384
    v.setCentre(0.0, 0.0);
    EXPECT_DOUBLE_EQ(v.centreX, 0.0);

    // Zoom 64: 16 units across.
    v.zoom = 64;
    EXPECT_DOUBLE_EQ(v.visibleWidth(), 16.0);
    v.setCentre(600.0, 600.0);
    EXPECT_DOUBLE_EQ(v.centreX, 506.0);  // m = 514
    EXPECT_DOUBLE_EQ(v.centreY, 508.0);
    v.setCentre(-511.0, 20.0);
    EXPECT_DOUBLE_EQ(v.centreX, -506.0);
    EXPECT_DOUBLE_EQ(v.centreY, 20.0);
}

TEST(GraphView, WheelZoomStaysWithinOneAndSixtyFourAndReclamps)
{
    GraphView v = canvas(400, 300, 64);
    v.wheelZoom(120);
    EXPECT_EQ(v.zoom, 64);
    v.setCentre(506.0, 0.0);
    for (int expected : {32, 16, 8, 4, 2, 1, 1}) {
        v.wheelZoom(-120);
        EXPECT_EQ(v.zoom, expected);
    }
    EXPECT_DOUBLE_EQ(v.centreX, 128.0);  // the centre follows the wider view back toward 0
    v.wheelZoom(0);                      // zero doubles
    EXPECT_EQ(v.zoom, 2);
}

TEST(GraphView, GridSpacingStepsStopAtOneAnd512)
{
    GraphView v;
    v.stepGridSpacing(+1);  // the up arrow doubles
    EXPECT_EQ(v.gridSpacing, 8);
    v.stepGridSpacing(-1);
    v.stepGridSpacing(-1);
    v.stepGridSpacing(-1);
    EXPECT_EQ(v.gridSpacing, 1);
    v.stepGridSpacing(-1);
    EXPECT_EQ(v.gridSpacing, 1);
    v.gridSpacing = 512;
    v.stepGridSpacing(+1);
    EXPECT_EQ(v.gridSpacing, 512);
    v.stepGridSpacing(-1);
    EXPECT_EQ(v.gridSpacing, 256);
}

TEST(GraphView, PenWidthsAndNodeSizesFollowTheZoom)
{
    GraphView v = canvas(400, 300, 16);
    EXPECT_DOUBLE_EQ(v.baseLineWidth(), 1.25);
    EXPECT_EQ(v.lineWidth(GraphLineKind::Edge), 1);
    EXPECT_EQ(v.lineWidth(GraphLineKind::SelectedEdge), 1);
    EXPECT_EQ(v.lineWidth(GraphLineKind::Grid), 0);
    EXPECT_EQ(v.nodeRadius(), 5.0);
    EXPECT_EQ(v.nodeOutlineWidth(), 0);
    v.zoom = 64;
    EXPECT_EQ(v.lineWidth(GraphLineKind::Edge), 5);
    EXPECT_EQ(v.lineWidth(GraphLineKind::SelectedEdge), 7);
    EXPECT_EQ(v.lineWidth(GraphLineKind::Grid), 1);
    EXPECT_EQ(v.lineWidth(GraphLineKind::AxisOrBorder), 2);
    EXPECT_EQ(v.nodeOutlineWidth(), 2);
    v.zoom = 1;
    for (GraphLineKind k : {GraphLineKind::Edge, GraphLineKind::SelectedEdge, GraphLineKind::Grid,
                            GraphLineKind::AxisOrBorder})
        EXPECT_EQ(v.lineWidth(k), 0);
    EXPECT_EQ(v.nodeRadius(), 1.0);
}

TEST(GraphView, PanAndFitToGraph)
{
    test::FixedClock clock(5);
    GraphView v = canvas(400, 300);
    v.pan(0.1, -0.1);
    EXPECT_DOUBLE_EQ(v.centreX, 6.4);
    EXPECT_DOUBLE_EQ(v.centreY, -6.4);

    Graph2D g;
    v.fitToGraph(g);  // nothing to show: back to the origin
    EXPECT_DOUBLE_EQ(v.centreX, 0.0);
    g.addNode(0, 9, -10.0, -10.0);
    g.deselectAll();
    g.addNode(10, 19, 30.0, 5.0);
    v.zoom = 64;
    v.fitToGraph(g);
    EXPECT_EQ(v.zoom, 16);  // 41 units wide fit 64, not 32
    EXPECT_DOUBLE_EQ(v.centreX, 10.0);
    EXPECT_DOUBLE_EQ(v.centreY, -2.5);
}

TEST(GraphView, PositionTextCutsToHundredths)
{
    EXPECT_EQ(positionText(1.239, -0.004), "1.23, 0.00");
    EXPECT_EQ(positionText(-2.5, 3.0), "-2.50, 3.00");
    EXPECT_EQ(positionText(-7.999, 511.0), "-7.99, 511.00");
}

// Two nodes placed directly (no overlap nudge) and an edge between them.
struct TwoNodes {
    Graph2DNode a, b;
    Graph2DEdge edge;
    TwoNodes(double x1, double y1, double x2, double y2)
        : a(0, 9, 0, x1, y1), b(10, 19, 1, x2, y2), edge(&a, &b)
    {
    }
};

TEST(EdgeArrowhead, HorizontalEdgesTakeTheRuleOfTheirDirection)
{
    // Right to left (y equal, x falling): the first rule, tip on the target's right side.
    TwoNodes leftward(10.0, 0.0, 0.0, 0.0);
    auto head = arrowheadOf(leftward.edge);
    ASSERT_TRUE(head);
    EXPECT_DOUBLE_EQ(head->tip.x, 0.5);
    EXPECT_DOUBLE_EQ(head->tip.y, 0.0);
    EXPECT_DOUBLE_EQ(head->base1.x, 0.7);
    EXPECT_DOUBLE_EQ(std::fabs(head->base1.y), 0.2);
    // Left to right: the second rule, tip on the target's left side.
    TwoNodes rightward(0.0, 0.0, 10.0, 0.0);
    head = arrowheadOf(rightward.edge);
    ASSERT_TRUE(head);
    EXPECT_DOUBLE_EQ(head->tip.x, 9.5);
    EXPECT_DOUBLE_EQ(head->base1.x, 9.3);
    EXPECT_DOUBLE_EQ(head->base2.x, 9.3);
    EXPECT_DOUBLE_EQ(head->base1.y, -head->base2.y);
}

TEST(EdgeArrowhead, DegenerateEdgesStayFiniteOrMiss)
{
    // Vertical both ways: an infinite slope; the tip still faces the source and everything is a
    // number, and the edge's body is hit where it lies and nowhere else.
    for (double dir : {1.0, -1.0}) {
        TwoNodes up(3.0, 0.0, 3.0, 10.0 * dir);
        auto head = arrowheadOf(up.edge);
        ASSERT_TRUE(head);
        EXPECT_NEAR(head->tip.x, 3.0, 1e-12);
        EXPECT_NEAR(head->tip.y, 10.0 * dir - 0.5 * dir, 1e-12);
        for (const GraphPoint& p : {head->base1, head->base2}) {
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
            EXPECT_NEAR(std::fabs(p.x - 3.0), 0.2, 1e-12);
        }
        EXPECT_TRUE(up.edge.hit(3.05, 5.0 * dir));
        EXPECT_FALSE(up.edge.hit(3.5, 5.0 * dir));
        EXPECT_FALSE(up.edge.hit(3.05, -5.0 * dir));
    }
    // Zero length between two nodes: drawn as a loop (no arrowhead), and its not-a-number
    // quadrilateral matches no point at all.
    TwoNodes same(2.0, 2.0, 2.0, 2.0);
    EXPECT_TRUE(std::isnan(same.edge.slope));
    EXPECT_FALSE(arrowheadOf(same.edge));
    for (GraphPoint p : {GraphPoint{2.0, 2.0}, GraphPoint{2.1, 2.0}, GraphPoint{-100.0, 50.0}})
        EXPECT_FALSE(same.edge.hit(p.x, p.y));
}

} // namespace
} // namespace duolo
