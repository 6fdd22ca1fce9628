#include "render/SpinSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace duolo {

SpinSlider::SpinSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setRange(-10, 10);
    setValue(0);
    setTickInterval(1);
    setTickPosition(QSlider::TicksBothSides);
    setPageStep(2);
    setToolTip(tr("Turn the view: hold the slider left or right of the middle"));
    connect(this, &QSlider::sliderReleased, this, [this] { setValue(0); });
}

void SpinSlider::keyReleaseEvent(QKeyEvent* event)
{
    QSlider::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        setValue(0);
}

} // namespace duolo

namespace duolo {

void SpinSlider::mouseReleaseEvent(QMouseEvent* event)
{
    QSlider::mouseReleaseEvent(event);
    setValue(0);
}

void SpinSlider::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

} // namespace duolo
