#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duolo {

class Graph2D;
class Graph2DEdge;

// A point of the graph plane (node positions, y pointing up).
struct GraphPoint {
    double x = 0.0;
    double y = 0.0;
};

// A pixel of a graph canvas, counted from the canvas's top-left corner.
struct CanvasPixel {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const CanvasPixel&) const = default;
};

// The pens of a graph canvas.
enum class GraphLineKind {
    Edge = 0,          // unselected and provisional edges
    SelectedEdge = 1,
    Grid = 10,
    AxisOrBorder = 11,
};

// How a page looks at a motion graph on its 2D canvas: pan, zoom, grid and the drag in
// progress, with the mapping between graph points and canvas pixels. Plain values, shared by the
// graph editor and the graph playback page (each keeps its own) and read by the drawing routines.
//
// The graph area is the square [-worldExtent/2, worldExtent/2]^2; the canvas shows a window of
// worldExtent / zoom graph units across, centred on (centreX, centreY).
struct GraphView {
    static constexpr double kDefaultWorldExtent = 1024.0;
    static constexpr int32_t kDefaultZoom = 16;
    static constexpr int32_t kMaximumZoom = 64;
    static constexpr int32_t kMaximumGridSpacing = 512;

    double worldExtent = kDefaultWorldExtent;
    int32_t zoom = kDefaultZoom;
    int32_t maximumZoom = kMaximumZoom;
    int32_t gridSpacing = 4;
    double centreX = 0.0;
    double centreY = 0.0;
    double nodeSizeFactor = 40.0;
    double lineSizeFactor = 5.0;
    int32_t width = 1;   // canvas size in pixels
    int32_t height = 1;
    bool showGrid = true;
    bool showAllGroups = false;

    // The drag in progress, in canvas pixels.
    CanvasPixel dragStart;
    CanvasPixel dragCurrent;
    bool edgeDragging = false;
    bool moving = false;
    bool rectangleSelecting = false;

    double visibleWidth() const { return worldExtent / zoom; }
    double visibleHeight() const { return visibleWidth() * height / width; }

    // Canvas pixel (may be fractional) to graph point.
    GraphPoint toGraph(double sx, double sy) const;
    GraphPoint toGraph(CanvasPixel p) const { return toGraph(p.x, p.y); }
    // Graph point to canvas pixel, each coordinate truncated toward zero. Empty when the point is
    // not finite (a degenerate edge's corners) or lies so far off the canvas that no pixel
    // coordinate holds it; drawing leaves such shapes out rather than drawing stray lines.
    std::optional<CanvasPixel> toPixel(double x, double y) const;
    std::optional<CanvasPixel> toPixel(GraphPoint p) const { return toPixel(p.x, p.y); }

    // Whether a mouse press at this pixel counts as on the canvas: 1 .. w + 1 and 1 .. h + 1.
    bool acceptsPress(CanvasPixel p) const;
    // Whether the pixel's graph point is shown in the "Mouse Position" display, rather than
    // "Off Canvas": the pixel within 0 .. w + 1 and 0 .. h + 1 and its point inside the graph area.
    bool showsPosition(CanvasPixel p) const;

    // Centres the view on (x, y), clamped so that the view overhangs the graph area by at most an
    // eighth of the visible width on each side.
    void setCentre(double x, double y);
    // One wheel notch: a negative delta halves the zoom, any other doubles it, within 1 .. the
    // maximum; the centre is clamped again for the new zoom.
    void wheelZoom(int wheelDelta);
    // The grid spacing spinner: the up arrow (+1) doubles the spacing, the down arrow (-1) halves
    // it; more than half the world extent becomes 512 and 0 becomes 1.
    void stepGridSpacing(int upDownDelta);
    // Pans by a fraction of the visible width (arrow keys), with the centre's clamping.
    void pan(double fractionX, double fractionY);
    // Centres on every node of the graph and takes the largest power-of-two zoom (1 .. maximum)
    // at which all of them show. An empty graph only re-centres on the origin.
    void fitToGraph(const Graph2D& graph);
    // A drag by (dx, dy) pixels: the graph moves with the mouse (the centre the other way).
    void panByPixels(double dx, double dy);
    // Whether the point lies inside the visible window shrunk by `inset` (a fraction of its size)
    // on every side.
    bool shows(GraphPoint p, double inset = 0.0) const;
    // Following points (the playing groups' current nodes): when one has left the inner part of
    // the window, centres on all of them, zooming out by halves until they fit (down to 1).
    // Returns whether the view changed.
    bool keepInView(const std::vector<GraphPoint>& points);

    // Pen width of a line kind, in pixels (truncated; 0 is the thinnest line).
    int32_t lineWidth(GraphLineKind kind) const;
    double baseLineWidth() const { return zoom * lineSizeFactor / maximumZoom; }
    // Node circle radius in pixels (at least 1; the circle's box is truncated when drawn) and
    // its outline width.
    double nodeRadius() const;
    int32_t nodeOutlineWidth() const;
};

// The filled triangle at the head of an edge, in graph units: its tip lies on the target node's
// circle on the side facing the source. The rule chooses the side by the edge's direction; for
// a vertical edge the slope is infinite and the arctangent a right angle, so the rule still
// holds. Empty for a self-loop (both ends at one point), which is drawn as a circle instead.
struct EdgeArrowhead {
    GraphPoint tip;
    GraphPoint base1;
    GraphPoint base2;
};
bool isDrawnAsLoop(double x1, double y1, double x2, double y2);
std::optional<EdgeArrowhead> arrowheadOf(const Graph2DEdge& edge);

// Text of a position in the editor's displays: each coordinate cut to hundredths (toward zero)
// and written with two decimals, joined by ", ".
std::string positionText(double x, double y);

} // namespace duolo
