#pragma once

#include "motiongraph/GraphView.h"

#include <QColor>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

class QPainter;

namespace duolo {

class Graph2D;
class Graph2DEdge;
class Graph2DNode;
class MotionCaptureSession;

// Drawing of motion graphs on a 2D canvas, shared by the graph editor and the graph playback
// page. Every routine reads only the GraphView it is given (the calling page's own) and draws
// with a QPainter into the canvas's off-screen image, in canvas pixels; nothing here keeps state.
//
// A page draws one frame as:
//     QImage image = makeGraphCanvasImage(view);
//     QPainter painter(&image);
//     drawGraphCanvas(painter, view, session, groupNumber);
// and then copies the image onto its canvas widget. The single steps are public for pages that
// draw something of their own in between.

// The canvas colours (converted once from the 0x00BBGGRR values).
struct GraphColours {
    static QColor background();    // white
    static QColor edge();          // blue: unselected and provisional edges, node outlines
    static QColor selected();      // red: selected edges and nodes, the selection rectangle
    static QColor grid();
    static QColor axisAndBorder();
};

// An image of (w + 2) x (h + 2) pixels for a canvas of w x h.
QImage makeGraphCanvasImage(const GraphView& view);

// The whole canvas in drawing order: background, grid and border, the provisional edge while
// edge-dragging, the graph of group `groupNumber` (every group's when view.showAllGroups), and
// the selection rectangle while rectangle-selecting. A group number out of range draws no graph.
void drawGraphCanvas(QPainter& painter, const GraphView& view, const MotionCaptureSession& session,
                     int groupNumber);

void drawGraphBackground(QPainter& painter, const GraphView& view);
// The grid and the two axes when view.showGrid, and always the border of the graph area.
void drawGraphGridAndBorder(QPainter& painter, const GraphView& view);
// A straight line between two graph points, or the 25-pixel loop circle above and left of the
// point when both ends coincide.
void drawGraphLine(QPainter& painter, const GraphView& view, double x1, double y1, double x2, double y2,
                   GraphLineKind kind);
// An edge: its line with the arrowhead filled in the pen's colour, or the loop circle.
void drawGraphEdge(QPainter& painter, const GraphView& view, const Graph2DEdge& edge, GraphLineKind kind);
// A node's filled circle: red when selected, else the group's colour (0x00BBGGRR).
void drawGraphNode(QPainter& painter, const GraphView& view, const Graph2DNode& node, bool selected,
                   uint32_t groupColour);
// A graph with more edges than this is crowded: its canvas leaves out what would be smaller than
// a pixel, the arrowheads of a pixel or less and node outlines thinner than a pixel (the node's
// fill alone), and writes its wide lines straight into the image without QPainter's round caps.
// Ordinary graphs, far below it, are drawn exactly as before.
inline constexpr size_t kCrowdedEdgeCount = 20000;
bool isCrowded(const Graph2D& graph);
// One graph: unselected edges, selected edges, unselected nodes, selected nodes, each in list
// order. Shapes wholly off the canvas are skipped.
void drawGraph(QPainter& painter, const GraphView& view, const Graph2D& graph, uint32_t groupColour);
// The two halves of drawGraph, for a canvas that keeps parts of its picture between repaints:
// the given edges with one pen, the given nodes with one fill, each in list order.
void drawGraphEdges(QPainter& painter, const GraphView& view, const std::vector<Graph2DEdge*>& edges,
                    GraphLineKind kind, bool crowded);
void drawGraphNodes(QPainter& painter, const GraphView& view, const std::vector<Graph2DNode*>& nodes,
                    const QColor& fill, bool crowded);
// The edge being drawn, from view.dragStart to view.dragCurrent, shaped as a real edge.
void drawProvisionalEdge(QPainter& painter, const GraphView& view);
// The dotted rectangle from view.dragStart to view.dragCurrent.
void drawSelectionRectangle(QPainter& painter, const GraphView& view);

// Clips the segment (x0, y0)-(x1, y1) to the box [0, right] x [0, bottom] (Liang-Barsky); false
// when it misses the box entirely.
bool clipSegmentToBox(double& x0, double& y0, double& x1, double& y1, double right, double bottom);

} // namespace duolo
