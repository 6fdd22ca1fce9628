#include "render/GraphCanvasWidget.h"

#include <QPainter>

namespace duolo {

GraphCanvasWidget::GraphCanvasWidget(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

QImage GraphCanvasWidget::renderImage() const
{
    QImage image(canvasWidth() + 2, canvasHeight() + 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (draw_) {
        QPainter painter(&image);
        draw_(painter);
    }
    return image;
}

void GraphCanvasWidget::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(QPoint(2, 2), renderImage());
}

} // namespace duolo
