#include "render/GraphDrawing.h"

#include "motiongraph/Graph2D.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace duolo {

namespace {

// Diameter of the circle that stands for a self-loop, in pixels.
constexpr int kLoopDiameter = 25;

QColor lineColour(GraphLineKind kind)
{
    switch (kind) {
    case GraphLineKind::Edge: return GraphColours::edge();
    case GraphLineKind::SelectedEdge: return GraphColours::selected();
    case GraphLineKind::Grid: return GraphColours::grid();
    case GraphLineKind::AxisOrBorder: return GraphColours::axisAndBorder();
    }
    return Qt::black;
}

QPen solidPen(const QColor& colour, int width)
{
    // Width 0 is Qt's cosmetic one-pixel pen, the thinnest line.
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPen linePen(const GraphView& view, GraphLineKind kind)
{
    return solidPen(lineColour(kind), view.lineWidth(kind));
}

// An ellipse given, as a window-system box, by two opposite corners, the right and bottom
// edges excluded: (l, t)-(r, b) covers columns l .. r - 1 and rows t .. b - 1.
void drawBoxEllipse(QPainter& painter, int x1, int y1, int x2, int y2)
{
    const int l = std::min(x1, x2), r = std::max(x1, x2);
    const int t = std::min(y1, y2), b = std::max(y1, y2);
    painter.drawEllipse(QRect(l, t, std::max(1, r - l) - 1, std::max(1, b - t) - 1));
}

// The canvas rectangle grown by a margin, for skipping shapes that cannot show.
struct VisibleArea {
    int left, top, right, bottom;
    // A crowded graph leaves out what is smaller than a pixel (see isCrowded).
    bool crowded = false;
    bool holdsAny(int x1, int y1, int x2, int y2) const
    {
        return std::max(x1, x2) >= left && std::min(x1, x2) <= right && std::max(y1, y2) >= top
            && std::min(y1, y2) <= bottom;
    }
};

VisibleArea visibleArea(const GraphView& view, bool crowded = false)
{
    // Arrowheads and edge bodies reach about a node's size past the ends; loops 25 pixels.
    const double pixelsPerUnit = view.width / view.visibleWidth();
    const int margin = static_cast<int>(std::min(1e6, pixelsPerUnit)) + kLoopDiameter + 8;
    return {-margin, -margin, view.width + 2 + margin, view.height + 2 + margin, crowded};
}

// QPainter's raster engine spends tens of nanoseconds on every pixel of a one-pixel line, and
// the canvas of a long take holds thousands of edges: at zoom 1 that alone passed the 40 ms
// frame. Thin solid lines on a plain image canvas are therefore written into the image here,
// clipped to it first, and so are wide lines of crowded graphs; anything else (wide pens of
// ordinary graphs, clipping, transforms, other devices) goes through QPainter.


// The image under the painter when a solid opaque pen may be written into it directly, else null.
QImage* writableCanvas(QPainter& painter)
{
    const QPen& pen = painter.pen();
    if (pen.style() != Qt::SolidLine || pen.color().alpha() != 255
        || painter.testRenderHint(QPainter::Antialiasing) || painter.hasClipping()
        || !painter.transform().isIdentity() || !painter.device()
        || painter.device()->devType() != QInternal::Image)
        return nullptr;
    auto* image = static_cast<QImage*>(painter.device());
    const QImage::Format format = image->format();
    // A shared image would be copied by bits(), away from the one the painter draws on.
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
         && format != QImage::Format_ARGB32_Premultiplied) || !image->isDetached())
        return nullptr;
    return image;
}

bool writeThinLine(QPainter& painter, int ax, int ay, int bx, int by)
{
    QImage* image = painter.pen().widthF() <= 1.0 ? writableCanvas(painter) : nullptr;
    if (!image)
        return false;
    const QPen& pen = painter.pen();
    double x0 = ax, y0 = ay, x1 = bx, y1 = by;
    if (!clipSegmentToBox(x0, y0, x1, y1, image->width() - 1, image->height() - 1))
        return true;
    int x = static_cast<int>(std::lround(x0)), y = static_cast<int>(std::lround(y0));
    const int xEnd = static_cast<int>(std::lround(x1)), yEnd = static_cast<int>(std::lround(y1));
    const QRgb value = pen.color().rgba();
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    // Bresenham, both ends included.
    const int dx = std::abs(xEnd - x), sx = x < xEnd ? 1 : -1;
    const int dy = -std::abs(yEnd - y), sy = y < yEnd ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        reinterpret_cast<QRgb*>(bits + y * stride)[x] = value;
        if (x == xEnd && y == yEnd)
            break;
        const int e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y += sy;
        }
    }
    return true;
}

// A wide line on a crowded canvas, where QPainter's stroke with its round caps costs far more
// than the frame allows: along the line's longer axis, one span across it per step, as long as
// the pen is wide measured along that axis. The caps are left out; the nodes cover the ends.
bool writeWideLine(QPainter& painter, CanvasPixel a, CanvasPixel b)
{
    QImage* image = writableCanvas(painter);
    if (!image)
        return false;
    const double width = painter.pen().widthF();
    const int w = image->width(), h = image->height();
    double x0 = a.x + width, y0 = a.y + width, x1 = b.x + width, y1 = b.y + width;
    if (!clipSegmentToBox(x0, y0, x1, y1, w - 1 + 2.0 * width, h - 1 + 2.0 * width))
        return true;
    x0 -= width, y0 -= width, x1 -= width, y1 -= width;
    const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
    if (steep) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    // In the swapped frame "along" is x and "across" is y.
    const int alongSize = steep ? h : w, acrossSize = steep ? w : h;
    const double run = x1 - x0, slope = run > 0.0 ? (y1 - y0) / run : 0.0;
    const double half = width * std::sqrt(1.0 + slope * slope) / 2.0;
    const QRgb value = painter.pen().color().rgba();
    uchar* bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    // Pixel (i, j) of the swapped frame is covered when centre(i) - half <= j < centre(i) + half.
    // (floor rather than lround: the library call per span end cost as much as the spans.)
    const int first = std::max(0, static_cast<int>(std::floor(x0 + 0.5)));
    const int last = std::min(alongSize - 1, static_cast<int>(std::floor(x1 + 0.5)));
    if (steep) {
        // The spans across run along image rows.
        for (int i = first; i <= last; ++i) {
            const double centre = y0 + (i - x0) * slope;
            const int from = std::max(0, static_cast<int>(std::floor(centre - half + 1.0)));
            const int to = std::min(acrossSize - 1, static_cast<int>(std::floor(centre + half)));
            QRgb* row = reinterpret_cast<QRgb*>(bits + i * stride);
            std::fill(row + from, row + std::max(from, to + 1), value);
        }
        return true;
    }
    // A flat line: the same pixels, filled row by row (a column at a time would touch a cache
    // line per pixel).
    if (first > last)
        return true;
    const double yFirst = y0 + (first - x0) * slope, yLast = y0 + (last - x0) * slope;
    const int top = std::max(0, static_cast<int>(std::floor(std::min(yFirst, yLast) - half)));
    const int bottom = std::min(acrossSize - 1, static_cast<int>(std::floor(std::max(yFirst, yLast) + half)) + 1);
    for (int j = top; j <= bottom; ++j) {
        int from = first, to = last;
        if (slope > 0.0) {
            from = std::max(from, static_cast<int>(std::ceil(x0 + (j - half - y0) / slope)));
            to = std::min(to, static_cast<int>(std::ceil(x0 + (j + half - y0) / slope)) - 1);
        } else if (slope < 0.0) {
            from = std::max(from, static_cast<int>(std::floor(x0 + (j + half - y0) / slope)) + 1);
            to = std::min(to, static_cast<int>(std::floor(x0 + (j - half - y0) / slope)));
        } else if (!(y0 - half <= j && j < y0 + half)) {
            continue;
        }
        if (from <= to) {
            QRgb* row = reinterpret_cast<QRgb*>(bits + j * stride);
            std::fill(row + from, row + to + 1, value);
        }
    }
    return true;
}

// Whether a line of the painter's pen between the two pixels can reach the painter's device: a
// long edge whose box covers the canvas often passes beside it, and a wide pen costs QPainter
// a whole stroke even when nothing of it shows. The margin covers the pen and its round caps.
bool lineMayShow(const QPainter& painter, CanvasPixel a, CanvasPixel b)
{
    const QPaintDevice* device = painter.device();
    if (!device || !painter.transform().isIdentity())
        return true;
    const double margin = painter.pen().widthF() + 4.0;
    double x0 = a.x + margin, y0 = a.y + margin, x1 = b.x + margin, y1 = b.y + margin;
    return clipSegmentToBox(x0, y0, x1, y1, device->width() + 2.0 * margin, device->height() + 2.0 * margin);
}

void drawPixelLine(QPainter& painter, CanvasPixel a, CanvasPixel b, bool crowded = false)
{
    if (writeThinLine(painter, a.x, a.y, b.x, b.y))
        return;
    if (crowded && writeWideLine(painter, a, b))
        return;
    if (lineMayShow(painter, a, b))
        painter.drawLine(a.x, a.y, b.x, b.y);
}

void drawLoop(QPainter& painter, CanvasPixel p)
{
    static const double u = (std::sqrt(1250.0) - 25.0) / 2.0;
    painter.setBrush(GraphColours::background());
    drawBoxEllipse(painter, static_cast<int>(p.x + u - kLoopDiameter), static_cast<int>(p.y + u - kLoopDiameter),
                   static_cast<int>(p.x + u), static_cast<int>(p.y + u));
}

void drawEdgeShape(QPainter& painter, const GraphView& view, const Graph2DEdge& edge, const VisibleArea& area)
{
    const double x1 = edge.from->x, y1 = edge.from->y, x2 = edge.to->x, y2 = edge.to->y;
    const auto a = view.toPixel(x1, y1);
    const auto b = view.toPixel(x2, y2);
    if (!a || !b || !area.holdsAny(a->x, a->y, b->x, b->y))
        return;
    if (isDrawnAsLoop(x1, y1, x2, y2)) {
        drawLoop(painter, *a);
        return;
    }
    drawPixelLine(painter, *a, *b, area.crowded);
    const auto head = arrowheadOf(edge);
    if (!head)
        return;
    const auto tip = view.toPixel(head->tip);
    const auto base1 = view.toPixel(head->base1);
    const auto base2 = view.toPixel(head->base2);
    // A degenerate edge's corners may not be numbers: then there is no arrowhead to draw.
    if (!tip || !base1 || !base2)
        return;
    const int left = std::min({tip->x, base1->x, base2->x}), right = std::max({tip->x, base1->x, base2->x});
    const int top = std::min({tip->y, base1->y, base2->y}), bottom = std::max({tip->y, base1->y, base2->y});
    // The head of a long edge that crosses the canvas is mostly outside it.
    const int pen = painter.pen().width();
    if (right + pen < 0 || left - pen > view.width + 2 || bottom + pen < 0 || top - pen > view.height + 2)
        return;
    // Below a pixel a crowded canvas leaves the head out: the line already ends there.
    if (area.crowded && right - left <= 1 && bottom - top <= 1)
        return;
    // At low zoom the arrowhead shrinks to a pixel or two, which its outline covers on its own.
    if (right - left <= 2 && bottom - top <= 2 && painter.pen().widthF() <= 1.0) {
        drawPixelLine(painter, *tip, *base1);
        drawPixelLine(painter, *base1, *base2);
        drawPixelLine(painter, *base2, *tip);
        return;
    }
    painter.setBrush(painter.pen().color());
    painter.drawPolygon(QPolygon({QPoint(tip->x, tip->y), QPoint(base1->x, base1->y), QPoint(base2->x, base2->y)}));
}

void drawEdges(QPainter& painter, const GraphView& view, const std::vector<Graph2DEdge*>& edges,
               GraphLineKind kind, const VisibleArea& area)
{
    if (edges.empty())
        return;
    painter.setPen(linePen(view, kind));
    for (const Graph2DEdge* edge : edges)
        if (edge->from && edge->to)
            drawEdgeShape(painter, view, *edge, area);
}

void drawNodes(QPainter& painter, const GraphView& view, const std::vector<Graph2DNode*>& nodes,
               const QColor& fill, const VisibleArea& area)
{
    if (nodes.empty())
        return;
    // An outline thinner than a pixel is drawn one pixel wide; a crowded canvas leaves it out.
    const bool outline = !area.crowded || view.nodeSizeFactor * view.zoom / view.maximumZoom * 0.05 >= 1.0;
    painter.setPen(outline ? solidPen(GraphColours::edge(), view.nodeOutlineWidth()) : QPen(Qt::NoPen));
    painter.setBrush(fill);
    const double r = view.nodeRadius();
    const int reach = static_cast<int>(r) + 2;
    for (const Graph2DNode* node : nodes) {
        const auto p = view.toPixel(node->x, node->y);
        if (!p || !area.holdsAny(p->x - reach, p->y - reach, p->x + reach, p->y + reach))
            continue;
        drawBoxEllipse(painter, static_cast<int>(p->x - r), static_cast<int>(p->y + r), static_cast<int>(p->x + r),
                       static_cast<int>(p->y - r));
    }
}

} // namespace

bool clipSegmentToBox(double& x0, double& y0, double& x1, double& y1, double right, double bottom)
{
    double t0 = 0.0, t1 = 1.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0, right - x0, y0, bottom - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    x1 = x0 + t1 * dx;
    y1 = y0 + t1 * dy;
    x0 = x0 + t0 * dx;
    y0 = y0 + t0 * dy;
    return true;
}

QColor GraphColours::background() { return colourFromColourRef(0xFFFFFF); }
QColor GraphColours::edge() { return colourFromColourRef(0xFF0000); }
QColor GraphColours::selected() { return colourFromColourRef(0x0000FF); }
QColor GraphColours::grid() { return colourFromColourRef(0xE6E6E6); }
QColor GraphColours::axisAndBorder() { return colourFromColourRef(0x969696); }

QImage makeGraphCanvasImage(const GraphView& view)
{
    QImage image(std::max(1, view.width + 2), std::max(1, view.height + 2), QImage::Format_RGB32);
    image.fill(GraphColours::background());
    return image;
}

void drawGraphBackground(QPainter& painter, const GraphView& view)
{
    painter.setPen(solidPen(GraphColours::background(), 1));
    painter.setBrush(GraphColours::background());
    const int64_t w = int64_t{view.maximumZoom} * view.width, h = int64_t{view.maximumZoom} * view.height;
    painter.drawRect(QRect(0, 0, static_cast<int>(std::min<int64_t>(w, 1 << 24)),
                           static_cast<int>(std::min<int64_t>(h, 1 << 24))));
}

void drawGraphLine(QPainter& painter, const GraphView& view, double x1, double y1, double x2, double y2,
                   GraphLineKind kind)
{
    painter.setPen(linePen(view, kind));
    const auto a = view.toPixel(x1, y1);
    const auto b = view.toPixel(x2, y2);
    if (!a || !b)
        return;
    if (isDrawnAsLoop(x1, y1, x2, y2))
        drawLoop(painter, *a);
    else
        drawPixelLine(painter, *a, *b);
}

void drawGraphGridAndBorder(QPainter& painter, const GraphView& view)
{
    const double e = view.worldExtent;
    const double half = e / 2.0;
    if (view.showGrid) {
        const int n = std::max(1, static_cast<int>(half / std::max(1, view.gridSpacing)));
        for (int i = 0; i <= n; ++i) {
            const double v = static_cast<double>(i) / n * half;
            drawGraphLine(painter, view, v, half, v, -half, GraphLineKind::Grid);
            drawGraphLine(painter, view, half, v, -half, v, GraphLineKind::Grid);
            drawGraphLine(painter, view, -v, half, -v, -half, GraphLineKind::Grid);
            drawGraphLine(painter, view, half, -v, -half, -v, GraphLineKind::Grid);
        }
        drawGraphLine(painter, view, 0.0, e, 0.0, -e, GraphLineKind::AxisOrBorder);
        drawGraphLine(painter, view, e, 0.0, -e, 0.0, GraphLineKind::AxisOrBorder);
    }
    drawGraphLine(painter, view, -half, half, half, half, GraphLineKind::AxisOrBorder);
    drawGraphLine(painter, view, half, half, half, -half, GraphLineKind::AxisOrBorder);
    drawGraphLine(painter, view, half, -half, -half, -half, GraphLineKind::AxisOrBorder);
    drawGraphLine(painter, view, -half, -half, -half, half, GraphLineKind::AxisOrBorder);
}

void drawGraphEdge(QPainter& painter, const GraphView& view, const Graph2DEdge& edge, GraphLineKind kind)
{
    if (!edge.from || !edge.to)
        return;
    painter.setPen(linePen(view, kind));
    drawEdgeShape(painter, view, edge, visibleArea(view));
}

void drawGraphNode(QPainter& painter, const GraphView& view, const Graph2DNode& node, bool selected,
                   uint32_t groupColour)
{
    std::vector<Graph2DNode*> one{const_cast<Graph2DNode*>(&node)};
    drawNodes(painter, view, one, selected ? GraphColours::selected() : colourFromColourRef(groupColour),
              visibleArea(view));
}

void drawGraphEdges(QPainter& painter, const GraphView& view, const std::vector<Graph2DEdge*>& edges,
                    GraphLineKind kind, bool crowded)
{
    drawEdges(painter, view, edges, kind, visibleArea(view, crowded));
}

void drawGraphNodes(QPainter& painter, const GraphView& view, const std::vector<Graph2DNode*>& nodes,
                    const QColor& fill, bool crowded)
{
    drawNodes(painter, view, nodes, fill, visibleArea(view, crowded));
}

bool isCrowded(const Graph2D& graph)
{
    return graph.edges.size() + graph.selectedEdges.size() > kCrowdedEdgeCount;
}

void drawGraph(QPainter& painter, const GraphView& view, const Graph2D& graph, uint32_t groupColour)
{
    const VisibleArea area = visibleArea(view, isCrowded(graph));
    drawEdges(painter, view, graph.edges, GraphLineKind::Edge, area);
    drawEdges(painter, view, graph.selectedEdges, GraphLineKind::SelectedEdge, area);
    drawNodes(painter, view, graph.nodes, colourFromColourRef(groupColour), area);
    drawNodes(painter, view, graph.selectedNodes, GraphColours::selected(), area);
}

void drawProvisionalEdge(QPainter& painter, const GraphView& view)
{
    const GraphPoint a = view.toGraph(view.dragStart);
    const GraphPoint b = view.toGraph(view.dragCurrent);
    // Two stand-in nodes and an edge between them, so that the edge is shaped as a real one.
    Graph2DNode start(0, 0, -1, a.x, a.y);
    Graph2DNode end(0, 0, -2, b.x, b.y);
    const Graph2DEdge edge(&start, &end);
    drawGraphEdge(painter, view, edge, GraphLineKind::Edge);
}

void drawSelectionRectangle(QPainter& painter, const GraphView& view)
{
    painter.setPen(QPen(GraphColours::selected(), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    const QPoint a(view.dragStart.x, view.dragStart.y), c(view.dragCurrent.x, view.dragCurrent.y);
    const QPoint b(c.x(), a.y()), d(a.x(), c.y());
    painter.drawLine(a, b);
    painter.drawLine(b, c);
    painter.drawLine(c, d);
    painter.drawLine(d, a);
}

void drawGraphCanvas(QPainter& painter, const GraphView& view, const MotionCaptureSession& session,
                     int groupNumber)
{
    drawGraphBackground(painter, view);
    drawGraphGridAndBorder(painter, view);
    if (view.edgeDragging)
        drawProvisionalEdge(painter, view);
    for (int g = 0; g < session.groupCount(); ++g) {
        if (!view.showAllGroups && g != groupNumber)
            continue;
        const Group& group = *session.groups[static_cast<size_t>(g)];
        if (group.graph)
            drawGraph(painter, view, *group.graph, group.colour);
    }
    if (view.rectangleSelecting)
        drawSelectionRectangle(painter, view);
}

} // namespace duolo
