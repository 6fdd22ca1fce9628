#include "motiongraph/GraphView.h"

#include "capture/ValueFormat.h"
#include "motiongraph/Graph2D.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace duolo {

namespace {
// Pixel coordinates beyond this are not drawn: far more than any canvas, well inside int32.
constexpr double kPixelLimit = 1 << 28;
}

GraphPoint GraphView::toGraph(double sx, double sy) const
{
    const double vw = visibleWidth();
    const double vh = visibleHeight();
    return {vw * (sx - width / 2.0) / width + centreX, centreY - ((sy - height / 2.0) / height) * vh};
}

std::optional<CanvasPixel> GraphView::toPixel(double x, double y) const
{
    const double vw = visibleWidth();
    const double vh = visibleHeight();
    const double sx = width * (x - (centreX - vw / 2.0)) / vw;
    const double sy = height * (vh / 2.0 + centreY - y) / vh;
    // Also false for not-a-number, which fails every comparison.
    if (!(std::fabs(sx) < kPixelLimit && std::fabs(sy) < kPixelLimit))
        return std::nullopt;
    return CanvasPixel{static_cast<int32_t>(sx), static_cast<int32_t>(sy)};
}

bool GraphView::acceptsPress(CanvasPixel p) const
{
    return p.x >= 1 && p.x <= width + 1 && p.y >= 1 && p.y <= height + 1;
}

bool GraphView::showsPosition(CanvasPixel p) const
{
    if (p.x < 0 || p.x > width + 1 || p.y < 0 || p.y > height + 1)
        return false;
    const GraphPoint g = toGraph(p);
    const double half = worldExtent / 2.0;
    return g.x >= -half && g.x <= half && g.y >= -half && g.y <= half;
}

void GraphView::setCentre(double x, double y)
{
    const double vw = visibleWidth();
    const double vh = visibleHeight();
    const double m = worldExtent / 2.0 + vw / 8.0;
    centreX = x;
    if (centreX - vw / 2.0 < -m)
        centreX = -m + vw / 2.0;
    if (centreX + vw / 2.0 > m)
        centreX = m - vw / 2.0;
    centreY = y;
    if (centreY - vh / 2.0 < -m)
        centreY = -m + vh / 2.0;
    if (centreY + vh / 2.0 > m)
        centreY = m - vh / 2.0;
}

void GraphView::wheelZoom(int wheelDelta)
{
    zoom = wheelDelta < 0 ? zoom / 2 : zoom * 2;
    zoom = std::clamp(zoom, 1, maximumZoom);
    setCentre(centreX, centreY);
}

void GraphView::stepGridSpacing(int upDownDelta)
{
    if (upDownDelta > 0)
        gridSpacing *= 2;
    else if (upDownDelta < 0)
        gridSpacing /= 2;
    if (gridSpacing > worldExtent / 2.0)
        gridSpacing = kMaximumGridSpacing;
    if (gridSpacing <= 0)
        gridSpacing = 1;
}

void GraphView::pan(double fractionX, double fractionY)
{
    const double step = visibleWidth();
    setCentre(centreX + fractionX * step, centreY + fractionY * step);
}

void GraphView::panByPixels(double dx, double dy)
{
    setCentre(centreX - dx * visibleWidth() / width, centreY + dy * visibleHeight() / height);
}

bool GraphView::shows(GraphPoint p, double inset) const
{
    const double hw = visibleWidth() * (0.5 - inset);
    const double hh = visibleHeight() * (0.5 - inset);
    return std::fabs(p.x - centreX) <= hw && std::fabs(p.y - centreY) <= hh;
}

bool GraphView::keepInView(const std::vector<GraphPoint>& points)
{
    constexpr double kInset = 0.1;
    bool allShown = true;
    double minX = std::numeric_limits<double>::infinity(), maxX = -minX, minY = minX, maxY = -minX;
    for (const GraphPoint& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            continue;
        allShown = allShown && shows(p, kInset);
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    if (allShown)
        return false;
    // The inner part of the window must hold the points' extent.
    auto fits = [&] {
        return maxX - minX <= visibleWidth() * (1.0 - 2 * kInset) && maxY - minY <= visibleHeight() * (1.0 - 2 * kInset);
    };
    while (zoom > 1 && !fits())
        zoom /= 2;
    setCentre((minX + maxX) / 2.0, (minY + maxY) / 2.0);
    return true;
}

void GraphView::fitToGraph(const Graph2D& graph)
{
    double minX = std::numeric_limits<double>::infinity(), maxX = -minX;
    double minY = minX, maxY = -minX;
    auto extend = [&](const Graph2DNode* n) {
        if (!std::isfinite(n->x) || !std::isfinite(n->y))
            return;
        minX = std::min(minX, n->x - n->radius);
        maxX = std::max(maxX, n->x + n->radius);
        minY = std::min(minY, n->y - n->radius);
        maxY = std::max(maxY, n->y + n->radius);
    };
    for (const Graph2DNode* n : graph.nodes)
        extend(n);
    for (const Graph2DNode* n : graph.selectedNodes)
        extend(n);
    if (minX > maxX) {
        setCentre(0.0, 0.0);
        return;
    }
    // A node's circle is drawn larger than its radius at low zoom; keep a small margin.
    const double spanX = (maxX - minX) * 1.05;
    const double spanY = (maxY - minY) * 1.05;
    zoom = 1;
    for (int32_t z = maximumZoom; z > 1; z /= 2) {
        const double vw = worldExtent / z;
        if (vw >= spanX && vw * height / width >= spanY) {
            zoom = z;
            break;
        }
    }
    setCentre((minX + maxX) / 2.0, (minY + maxY) / 2.0);
}

int32_t GraphView::lineWidth(GraphLineKind kind) const
{
    const double g = baseLineWidth();
    switch (kind) {
    case GraphLineKind::Edge: return static_cast<int32_t>(g);
    case GraphLineKind::SelectedEdge: return static_cast<int32_t>(1.5 * g);
    case GraphLineKind::Grid: return static_cast<int32_t>(0.25 * g);
    case GraphLineKind::AxisOrBorder: return static_cast<int32_t>(0.5 * g);
    }
    return 0;
}

double GraphView::nodeRadius() const
{
    return std::max(1.0, (zoom * nodeSizeFactor / maximumZoom) / 2.0);
}

int32_t GraphView::nodeOutlineWidth() const
{
    return static_cast<int32_t>((zoom * nodeSizeFactor / maximumZoom) * 0.05);
}

bool isDrawnAsLoop(double x1, double y1, double x2, double y2)
{
    return x1 == x2 && y1 == y2;
}

std::optional<EdgeArrowhead> arrowheadOf(const Graph2DEdge& e)
{
    if (!e.from || !e.to)
        return std::nullopt;
    const double x1 = e.from->x, y1 = e.from->y, x2 = e.to->x, y2 = e.to->y;
    if (isDrawnAsLoop(x1, y1, x2, y2))
        return std::nullopt;
    EdgeArrowhead a;
    if (y2 > y1 || (y2 == y1 && x2 < x1)) {
        a.tip = {x2 + e.arrowDx, y2 + e.arrowDy};
        a.base1 = {e.cornerX[2] - e.offX + e.arrowDx, e.cornerY[2] - e.offY + e.arrowDy};
        a.base2 = {e.cornerX[3] - e.offX + e.arrowDx, e.cornerY[3] - e.offY + e.arrowDy};
    } else {
        a.tip = {x2 - e.arrowDx, y2 - e.arrowDy};
        a.base1 = {e.cornerX[2] + e.offX - e.arrowDx, e.cornerY[2] + e.offY - e.arrowDy};
        a.base2 = {e.cornerX[3] + e.offX - e.arrowDx, e.cornerY[3] + e.offY - e.arrowDy};
    }
    return a;
}

std::string positionText(double x, double y)
{
    // Adding 0.0 turns a negative zero (from cutting -0.004) into a plain zero.
    auto cut = [](double v) { return std::trunc(v * 100.0) / 100.0 + 0.0; };
    return formatNumber(cut(x), 2) + ", " + formatNumber(cut(y), 2);
}

} // namespace duolo
