#pragma once

#include "motiongraph/GraphView.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

class QPainter;

namespace duolo {

class Graph2D;
class MotionCaptureSession;

// Parts of a graph canvas's picture kept between repaints. A repaint on a large graph is mostly
// the edges and nodes that did not change: while the user drags the selection, hovers or moves
// the rubber band, only the selected nodes, their edges and the selected edges differ from the
// last picture. Per group the canvas keeps two transparent layers, the unselected edges that
// touch no selected node and the unselected nodes, each redrawn only when what it shows (the
// view, and the positions of what it holds) changed; the rest is drawn on every repaint.
//
// The result is the picture drawGraphCanvas draws, pixel for pixel: the layers hold only opaque
// pixels (nothing is antialiased) and are laid down in drawing order. Edges of one pen may be
// drawn in any order but for loop circles, whose white fill covers the edges before them in
// list order; those loops, and the unchanged edges that reach them, are drawn again over the
// moving edges (a group with too many of them to find quickly is drawn directly).
class GraphCanvasLayers {
public:
    // drawGraphCanvas with the layers. Painters on anything but a plain image of the canvas
    // (with no transform and no clip) are drawn directly.
    void draw(QPainter& painter, const GraphView& view, const MotionCaptureSession& session, int groupNumber);

    // How many layers the last draw took from an earlier one (for tests and the benchmark).
    int reusedLayers() const { return reused_; }
    // Drops every layer (the next draw makes them afresh).
    void clear() { groups_.clear(); }

private:
    struct Layer {
        uint64_t key = 0;
        QImage image;
    };
    struct GroupLayers {
        Layer edges;
        Layer nodes;
        // The unchanged edges drawn again over the moving ones (list positions, ascending), found
        // with the edge layer; false when there were too many to look for.
        std::vector<size_t> redrawn;
        bool redrawnValid = true;
    };

    void drawGroup(QPainter& painter, const GraphView& view, const Graph2D& graph, uint32_t colour,
                   GroupLayers& layers, QSize size);
    // The unchanged loops after the first moving edge, and the unchanged edges after it that
    // reach one of them: drawn again over the moving edges, they keep the list's order.
    static bool findRedrawn(const GraphView& view, const Graph2D& graph, const std::vector<char>& moving,
                            size_t firstMoving, std::vector<size_t>& redrawn);
    // Brings the layer up to `key`, drawing it afresh through `fill` when it changed, and lays
    // it onto the canvas.
    template <class Fill>
    void lay(QPainter& painter, Layer& layer, uint64_t key, QSize size, Fill&& fill);

    std::vector<GroupLayers> groups_;
    int reused_ = 0;
};

} // namespace duolo
