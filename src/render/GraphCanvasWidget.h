#pragma once

#include "motiongraph/GraphView.h"
#include "render/GraphCanvasLayers.h"

#include <QFrame>

#include <functional>

class QPainter;

namespace duolo {

// A sunken frame that shows a graph canvas. The canvas is w x h pixels with w, h the frame's size
// less 6; each paint draws it afresh into an off-screen image of (w + 2) x (h + 2), through the
// page's draw function, and copies that image into the frame at (2, 2). Pages handle the mouse
// and keys themselves (with an event filter) and translate positions with canvasPixel().
//
// Qt folds the update() calls made between two paints into one paint, so a page that calls
// update() on every mouse move shows the latest move on the next paint, never a queue of older
// ones; a draw function that goes through layers() keeps that paint short on large graphs:
//     canvas->setDrawFunction([=](QPainter& p) { canvas->layers().draw(p, view, session, group); });
class GraphCanvasWidget : public QFrame {
    Q_OBJECT
public:
    using DrawFunction = std::function<void(QPainter&)>;

    explicit GraphCanvasWidget(QWidget* parent = nullptr);

    void setDrawFunction(DrawFunction draw) { draw_ = std::move(draw); }
    // The canvas pixel under a point of this widget.
    static CanvasPixel canvasPixel(QPoint widgetPoint) { return {widgetPoint.x() - 2, widgetPoint.y() - 2}; }
    int canvasWidth() const { return std::max(1, width() - 6); }
    int canvasHeight() const { return std::max(1, height() - 6); }
    // The off-screen image as the next paint would show it (for tests and screenshots).
    QImage renderImage() const;
    // The picture parts kept between this canvas's paints (see GraphCanvasLayers).
    GraphCanvasLayers& layers() const { return layers_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DrawFunction draw_;
    mutable GraphCanvasLayers layers_;
};

} // namespace duolo
