// The motion graph drawing routines, read back pixel by pixel from the off-screen canvas.

#include "UiTestSupport.h"

#include "motiongraph/Graph2D.h"
#include "render/GraphCanvasLayers.h"
#include "render/GraphDrawing.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"

#include <QPainter>
#include <QTest>

#include <cmath>
#include <functional>

using namespace duolo;
using namespace duolo::test;

namespace {

GraphView viewOf(int w, int h, int zoom, double cx = 0.0, double cy = 0.0)
{
    GraphView v;
    v.width = w;
    v.height = h;
    v.zoom = zoom;
    v.centreX = cx;
    v.centreY = cy;
    return v;
}

// Draws background, optionally the grid and border, and the graph, as a page does; with a clip
// set the painter draws every line.
QImage draw(const GraphView& view, const Graph2D* graph, bool gridAndBorder = false, uint32_t colour = 0x00FF00,
            bool clipped = false)
{
    QImage image = makeGraphCanvasImage(view);
    QPainter painter(&image);
    if (clipped)
        painter.setClipRect(image.rect());
    drawGraphBackground(painter, view);
    if (gridAndBorder)
        drawGraphGridAndBorder(painter, view);
    if (graph)
        drawGraph(painter, view, *graph, colour);
    return image;
}

QColor at(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

bool isWhite(const QImage& image, int x, int y) { return at(image, x, y) == GraphColours::background(); }

// The first and last non-white column of a row.
std::pair<int, int> inkSpan(const QImage& image, int y)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        if (!isWhite(image, x, y)) {
            if (first < 0)
                first = x;
            last = x;
        }
    return {first, last};
}

// Pixels of either picture, of a colour that `counts`, without that colour within two pixels in
// the other picture.
int unmatchedPixels(const QImage& a, const QImage& b, const std::function<bool(QRgb)>& counts)
{
    auto nearby = [](const QImage& image, int x, int y, QRgb colour) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (image.rect().contains(x + dx, y + dy) && image.pixel(x + dx, y + dy) == colour)
                    return true;
        return false;
    };
    int unmatched = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb mine = a.pixel(x, y), theirs = b.pixel(x, y);
            unmatched += (counts(mine) && !nearby(b, x, y, mine)) || (counts(theirs) && !nearby(a, x, y, theirs));
        }
    return unmatched;
}

int countColour(const QImage& image, const QColor& colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour;
    return n;
}

// A node placed where asked (no overlap nudge), owned by the graph.
Graph2DNode* place(Graph2D& g, int32_t start, double x, double y)
{
    Graph2DNode* n = g.addNode(start, start + 9, 1000.0 + start, 0.0);
    n->translate(x - n->x, y - n->y);
    return n;
}

// A session of two groups, each with an ordinary graph: a ring of 24 nodes, a continuation and
// a transition from each, and a self-loop; the groups lie side by side.
std::unique_ptr<MotionCaptureSession> ringSession()
{
    auto session = std::make_unique<MotionCaptureSession>();
    for (int k = 0; k < 2; ++k) {
        session->groups.push_back(std::make_unique<Group>(0, k, 240));
        Group& group = *session->groups.back();
        group.updateColour();
        group.graph = std::make_unique<Graph2D>();
        Graph2D& g = *group.graph;
        std::vector<Graph2DNode*> nodes;
        for (int i = 0; i < 24; ++i)
            nodes.push_back(place(g, i * 10, k * 9.0 + 12.0 * std::cos(i * 0.26), 9.0 * std::sin(i * 0.26)));
        g.deselectAll();
        for (int i = 0; i < 24; ++i) {
            g.addEdge(nodes[i], nodes[(i + 1) % 24]);
            g.addEdge(nodes[i], nodes[(i * 7 + 5) % 24]);
        }
        g.addEdge(nodes[3], nodes[3]);
    }
    return session;
}

// The first group's canvas drawn through `layers` is the canvas drawn directly.
bool layersMatch(GraphCanvasLayers& layers, const GraphView& view, const MotionCaptureSession& session)
{
    QImage direct = makeGraphCanvasImage(view), layered = makeGraphCanvasImage(view);
    {
        QPainter painter(&direct);
        drawGraphCanvas(painter, view, session, 0);
    }
    QPainter painter(&layered);
    layers.draw(painter, view, session, 0);
    painter.end();
    return layered == direct;
}

} // namespace

class GraphDrawingTest : public QObject {
    Q_OBJECT
private slots:
    void nodeIsACircleOfRadiusFiveAtZoomSixteenOnAnyCanvas()
    {
        for (QSize size : {QSize(400, 300), QSize(1000, 700)}) {
            const GraphView v = viewOf(size.width(), size.height(), 16);
            Graph2D g;
            place(g, 0, 0.0, 0.0);
            g.deselectAll();
            const QImage image = draw(v, &g);
            const CanvasPixel c = *v.toPixel(0.0, 0.0);
            QCOMPARE(inkSpan(image, c.y), std::make_pair(c.x - 5, c.x + 4));
            QCOMPARE(at(image, c.x - 5, c.y), GraphColours::edge());  // the outline
            QCOMPARE(at(image, c.x, c.y), QColor(0, 255, 0));         // the group's colour
            QVERIFY(isWhite(image, c.x, c.y - 6));
        }
        // Selected nodes are filled red.
        const GraphView v = viewOf(400, 300, 16);
        Graph2D g;
        place(g, 0, 0.0, 0.0);
        QCOMPARE(at(draw(v, &g), 200, 150), GraphColours::selected());
    }

    void selfLoopIsTheTwentyFivePixelCircleAboveLeft()
    {
        const GraphView v = viewOf(400, 300, 16);
        Graph2D g;
        Graph2DNode* a = place(g, 0, 0.0, 0.0);
        g.addEdge(a, a);
        g.deselectAll();
        const QImage image = draw(v, &g);
        // Centre pixel (200, 150); the loop's box runs from 180 to 205 across, 130 to 155 down.
        QCOMPARE(inkSpan(image, 142), std::make_pair(180, 204));
        QCOMPARE(at(image, 192, 130), GraphColours::edge());
        QCOMPARE(at(image, 192, 154), GraphColours::edge());
        QVERIFY(isWhite(image, 186, 136));  // filled white inside
        QVERIFY(isWhite(image, 192, 129));
        // Nothing to the right of or below the node: no arrowhead, no line.
        QCOMPARE(inkSpan(image, 150).second, 204);
        QCOMPARE(inkSpan(image, 160), std::make_pair(-1, -1));
    }

    void horizontalEdgesPointAtTheirTargetInBothDirections()
    {
        // 100 pixels per unit; nodes at x = -5 and 5 on the middle row (pixel 200).
        const GraphView v = viewOf(1600, 400, 64);
        for (bool rightward : {true, false}) {
            Graph2D g;
            Graph2DNode* left = place(g, 0, -5.0, 0.0);
            Graph2DNode* right = place(g, 10, 5.0, 0.0);
            g.deselectAll();
            if (rightward)
                g.addEdge(left, right);
            else
                g.addEdge(right, left);
            const QImage image = draw(v, &g);
            // Tip 0.5 units before the target centre, base 0.2 units further back, 0.4 wide.
            const int tip = rightward ? 1250 : 350;
            const int inside = rightward ? tip - 15 : tip + 15;
            const int beyond = rightward ? tip + 15 : tip - 15;
            QCOMPARE(at(image, inside, 190), GraphColours::edge());
            QCOMPARE(at(image, inside, 210), GraphColours::edge());
            QVERIFY(isWhite(image, beyond, 190));
            QVERIFY(isWhite(image, inside, 175));  // the base is 20 pixels either side
            QCOMPARE(at(image, 800, 200), GraphColours::edge());  // the line, 5 pixels thick
            QVERIFY(isWhite(image, 800, 196));
        }
    }

    void zoomOneDrawsEveryPenOnePixelWideAndNodesOfRadiusOne()
    {
        const GraphView v = viewOf(400, 400, 1);  // 2.56 units per pixel
        Graph2D g;
        Graph2DNode* a = place(g, 0, -200.0, 100.0);
        Graph2DNode* b = place(g, 10, 200.0, 100.0);
        g.deselectAll();
        g.addEdge(a, b);
        g.toggleEdgeAt(0.0, 100.0);  // selected: the widest pen, 1.5 g
        QCOMPARE(g.howManySelectedEdges(), 1);
        const QImage image = draw(v, &g, true);
        int red = 0;
        for (int y = 0; y < image.height(); ++y)
            red += at(image, 200, y) == GraphColours::selected();
        QCOMPARE(red, 1);
        // The border at x = -512 lies on column 0, one pixel wide.
        QCOMPARE(at(image, 0, 100), GraphColours::axisAndBorder());
        QVERIFY(at(image, 1, 100) != GraphColours::axisAndBorder());
        const CanvasPixel pa = *v.toPixel(-200.0, 100.0);
        QVERIFY(std::abs(inkSpan(image, pa.y + 3).first - pa.x) > 3);  // the node is tiny
    }

    void withoutTheGridOnlyTheBorderIsDrawn()
    {
        GraphView v = viewOf(400, 400, 1);
        const QImage withGrid = draw(v, nullptr, true);
        QVERIFY(countColour(withGrid, GraphColours::grid()) > 1000);
        v.showGrid = false;
        const QImage image = draw(v, nullptr, true);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                if (isWhite(image, x, y))
                    continue;
                QCOMPARE(at(image, x, y), GraphColours::axisAndBorder());
                QVERIFY2(x == 0 || x == 400 || y == 0 || y == 400, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        QCOMPARE(at(image, 0, 200), GraphColours::axisAndBorder());
        QCOMPARE(at(image, 200, 400), GraphColours::axisAndBorder());
    }

    void degenerateEdgesDrawNoStrayLines()
    {
        const GraphView v = viewOf(400, 300, 16);
        Graph2D g;
        Graph2DNode* a = place(g, 0, 0.0, 0.0);
        Graph2DNode* b = place(g, 10, 0.0, 10.0);
        g.deselectAll();
        g.addEdge(a, b);  // vertical: arrowhead below b
        QImage image = draw(v, &g);
        const CanvasPixel pb = *v.toPixel(0.0, 10.0);
        QCOMPARE(at(image, pb.x, pb.y + 5), GraphColours::edge());
        QVERIFY(isWhite(image, pb.x, pb.y - 8));

        // Two nodes on one spot: the edge between them is a loop; a node that is not a number
        // and its edges draw nothing at all.
        Graph2D h;
        Graph2DNode* c = place(h, 0, 0.0, 0.0);
        Graph2DNode* d = place(h, 10, 0.0, 0.0);
        Graph2DNode* lost = place(h, 20, 5.0, 5.0);
        h.deselectAll();
        h.addEdge(c, d);
        lost->translate(std::nan(""), 0.0);
        h.addEdge(c, lost);
        h.addEdge(lost, d);
        image = draw(v, &h);
        QCOMPARE(at(image, 180, 142), GraphColours::edge());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!isWhite(image, x, y))
                    QVERIFY2(x >= 180 && x < 205 && y >= 130 && y < 155,
                             qPrintable(QStringLiteral("stray pixel %1,%2").arg(x).arg(y)));
    }

    void thinLinesMatchWhatQPainterDraws()
    {
        // Thin lines go straight into a canvas image; with a clip set they go through QPainter
        // instead. The two rasterise diagonals a little differently (and a line clipped at the
        // canvas edge restarts from a rounded point), but no line may be missing or astray.
        const GraphView v = viewOf(400, 300, 16, 3.0, -2.0);
        Graph2D g;
        std::vector<Graph2DNode*> nodes;
        for (int i = 0; i < 12; ++i)
            nodes.push_back(place(g, i * 10, std::cos(i * 2.1) * (20.0 + i), std::sin(i * 1.3) * (30.0 + i)));
        g.deselectAll();
        for (size_t i = 0; i < nodes.size(); ++i)
            g.addEdge(nodes[i], nodes[(i * 5 + 3) % nodes.size()]);
        auto picture = [&](bool clipped) {
            QImage image = makeGraphCanvasImage(v);
            {
                QPainter painter(&image);
                if (clipped)
                    painter.setClipRect(image.rect());
                drawGraphBackground(painter, v);
                drawGraphGridAndBorder(painter, v);
                drawGraph(painter, v, g, 0x00FF00);
            }
            return image;
        };
        const QImage fast = picture(false);
        const QImage reference = picture(true);
        // Every pixel of either picture has its colour within two pixels in the other. (A grid
        // line may hide under an edge that runs along it in one picture only.)
        QVERIFY(fast.width() * fast.height() - countColour(reference, GraphColours::background()) > 5000);
        const QRgb grid = GraphColours::grid().rgb();
        QCOMPARE(unmatchedPixels(fast, reference, [grid](QRgb c) { return c != grid; }), 0);
    }

    void layersGiveTheDirectPictureWhileNodesAreDragged()
    {
        auto session = ringSession();
        Graph2D& g = *session->groups[0]->graph;
        for (int zoom : {1, 16, 64}) {
            GraphView v = viewOf(500, 360, zoom, 2.0, 1.0);
            GraphCanvasLayers layers;
            QVERIFY(layersMatch(layers, v, *session));
            // Nothing changed: both layers come from the last picture.
            QVERIFY(layersMatch(layers, v, *session));
            QCOMPARE(layers.reusedLayers(), 2);
            // A drag of one node (away from the loop): the unchanged edges and nodes stay layered.
            g.toggleNodeAt(g.nodes[10]->x, g.nodes[10]->y);
            for (int step = 0; step < 3; ++step) {
                g.moveSelected(0.7, -0.4);
                QVERIFY(layersMatch(layers, v, *session));
            }
            QCOMPARE(layers.reusedLayers(), 2);
            g.moveSelected(-2.1, 1.2);
            g.deselectAll();
        }
        // Loops keep the list's order: a moving edge listed before an unchanged loop it crosses
        // stays under the loop's white fill, and a moving loop stays under the unchanged edges
        // listed after it.
        {
            auto loops = std::make_unique<MotionCaptureSession>();
            loops->groups.push_back(std::make_unique<Group>(0, 0, 100));
            Graph2D& h = *(loops->groups[0]->graph = std::make_unique<Graph2D>());
            Graph2DNode* a = place(h, 0, 0.0, 0.0);
            Graph2DNode* b = place(h, 10, -6.0, 4.0);
            Graph2DNode* c = place(h, 20, 5.0, -2.0);
            Graph2DNode* d = place(h, 30, -4.0, -5.0);
            Graph2DNode* e = place(h, 40, -9.0, -4.3);
            Graph2DNode* f = place(h, 50, 2.0, -4.3);
            h.deselectAll();
            // b -> c runs through a's loop, e -> f through d's.
            for (const auto& [from, to] : {std::pair{b, c}, {a, a}, {d, d}, {c, d}, {e, f}})
                h.addEdge(from, to);
            const GraphView v = viewOf(400, 300, 16);
            GraphCanvasLayers layers;
            for (Graph2DNode* dragged : {b, d}) {
                h.toggleNodeAt(dragged->x, dragged->y);
                for (int step = 0; step < 4; ++step) {
                    h.moveSelected(0.3, 0.25);
                    QVERIFY(layersMatch(layers, v, *loops));
                }
                h.moveSelected(-1.2, -1.0);
                h.deselectAll();
            }
        }

        // Both groups, the loop's node selected, a provisional edge and the band.
        GraphView v = viewOf(500, 360, 16, 4.0, 0.0);
        v.showAllGroups = true;
        v.edgeDragging = v.rectangleSelecting = true;
        v.dragStart = {40, 40};
        v.dragCurrent = {300, 200};
        g.toggleNodeAt(g.nodes[3]->x, g.nodes[3]->y);
        g.moveSelected(1.0, 1.0);
        GraphCanvasLayers layers;
        QVERIFY(layersMatch(layers, v, *session));
        // A zoom redraws the layers.
        v.wheelZoom(+1);
        QVERIFY(layersMatch(layers, v, *session));
        QCOMPARE(layers.reusedLayers(), 0);
    }

    void crowdedGraphsLeaveOutWhatIsBelowAPixel()
    {
        // 150 nodes far to the right with 140 edges each, and one node on its own at the origin.
        Graph2D g;
        Graph2DNode* lone = place(g, 0, 0.0, 0.0);
        std::vector<Graph2DNode*> far;
        for (int i = 0; i < 150; ++i)
            far.push_back(place(g, 10 + i * 10, 300.0 + (i % 15) * 2.0, (i / 15) * 2.0));
        g.deselectAll();
        for (int i = 0; i < 150; ++i)
            for (int k = 1; k <= 140; ++k)
                g.addEdge(far[i], far[(i + k) % 150]);
        QVERIFY(isCrowded(g));
        const GraphView v = viewOf(400, 300, 16);
        const CanvasPixel c = *v.toPixel(lone->x, lone->y);
        // The outline, half a pixel wide at this zoom, is left out: the fill reaches the rim.
        const QImage image = draw(v, &g);
        QCOMPARE(inkSpan(image, c.y).first, c.x - 5);
        QCOMPARE(at(image, c.x - 5, c.y), QColor(0, 255, 0));
        // An ordinary graph keeps it.
        Graph2D ordinary;
        place(ordinary, 0, 0.0, 0.0);
        ordinary.deselectAll();
        QVERIFY(!isCrowded(ordinary));
        QCOMPARE(at(draw(v, &ordinary), c.x - 5, c.y), GraphColours::edge());

        // Wide lines, written straight into the image on a crowded canvas, cover what QPainter's
        // strokes cover (with a clip set the painter draws them) to within two pixels, but for
        // the round caps, which the nodes hide.
        const GraphView wide = viewOf(600, 400, 64, 306.0, 6.0);  // about 62 pixels per unit
        const QImage lines = draw(wide, &g);
        const QRgb blue = GraphColours::edge().rgb();
        QVERIFY(countColour(lines, GraphColours::edge()) > 20000);
        QCOMPARE(unmatchedPixels(lines, draw(wide, &g, false, 0x00FF00, true), [blue](QRgb c) { return c == blue; }), 0);
    }

    void provisionalEdgeAndSelectionRectangle()
    {
        GraphView v = viewOf(400, 300, 16);
        v.dragStart = {100, 150};
        v.dragCurrent = {300, 150};
        QImage image = makeGraphCanvasImage(v);
        {
            QPainter painter(&image);
            drawProvisionalEdge(painter, v);
        }
        QCOMPARE(at(image, 200, 150), GraphColours::edge());
        QCOMPARE(at(image, 295, 150), GraphColours::edge());  // its arrowhead at the pointer
        image = makeGraphCanvasImage(v);
        v.dragCurrent = {300, 250};
        {
            QPainter painter(&image);
            drawSelectionRectangle(painter, v);
        }
        QCOMPARE(at(image, 100, 150), GraphColours::selected());
        QVERIFY(isWhite(image, 200, 200));
        int red = 0;
        for (int x = 100; x <= 300; ++x)
            red += at(image, x, 250) == GraphColours::selected();
        QVERIFY(red > 60 && red < 150);  // dotted
    }
};

QTEST_MAIN(GraphDrawingTest)
#include "GraphDrawingTest.moc"
