#include "render/SpinSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <algorithm>

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

void SpinSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    QStyle* st = style();
    const QRect groove = st->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const int handleX = st->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this).center().x();
    QStyleOptionSlider atRest = option;
    atRest.sliderPosition = 0;
    atRest.sliderValue = 0;
    const int middleX = st->subControlRect(QStyle::CC_Slider, &atRest, QStyle::SC_SliderHandle, this).center().x();

    const QPalette& colours = palette();
    const int centreY = groove.center().y();
    const QRectF channel(groove.left() + 0.5, centreY - 2.5, groove.width() - 1.0, 5.0);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colours.color(QPalette::Dark));
    painter.setBrush(colours.color(QPalette::Base));
    painter.drawRoundedRect(channel, 2.0, 2.0);
    if (handleX != middleX) {
        const qreal left = std::min(handleX, middleX), right = std::max(handleX, middleX);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight));
        painter.drawRect(QRectF(left, channel.top() + 1.0, right - left, channel.height() - 2.0));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colours.color(QPalette::Text), 1));
    painter.drawLine(middleX, centreY - 5, middleX, centreY + 5);

    // Ticks and handle as the style draws them, without its groove.
    option.subControls = QStyle::SC_SliderTickmarks | QStyle::SC_SliderHandle;
    st->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

void SpinSlider::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

} // namespace duolo
