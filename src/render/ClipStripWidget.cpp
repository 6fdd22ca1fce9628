#include "render/ClipStripWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace duolo {

ClipStripWidget::ClipStripWidget(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(18);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void ClipStripWidget::setContent(int32_t frameCount, std::vector<Band> bands, std::vector<Marker> markers)
{
    if (frameCount == frameCount_ && bands == bands_ && markers == markers_)
        return;
    frameCount_ = frameCount;
    bands_ = std::move(bands);
    markers_ = std::move(markers);
    update();
}

double ClipStripWidget::xOf(double frame) const
{
    return frameCount_ > 0 ? frame * width() / frameCount_ : 0.0;
}

int32_t ClipStripWidget::frameAt(int x) const
{
    if (frameCount_ <= 0 || width() <= 0)
        return -1;
    const auto frame = static_cast<int32_t>(std::floor(static_cast<double>(x) * frameCount_ / width()));
    return std::clamp(frame, 0, frameCount_ - 1);
}

void ClipStripWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0xC8, 0xD0, 0xD4));
    if (frameCount_ <= 0)
        return;
    const int h = height();
    // Clips in order of their start, alternating shades, so that neighbours stay apart; a band
    // is at least a pixel wide.
    std::vector<const Band*> order;
    for (const Band& b : bands_)
        order.push_back(&b);
    std::stable_sort(order.begin(), order.end(), [](const Band* a, const Band* b) { return a->start < b->start; });
    for (size_t k = 0; k < order.size(); ++k) {
        const Band& b = *order[k];
        if (b.highlighted)
            continue;
        const double x0 = xOf(b.start);
        const double x1 = std::max(x0 + 1.0, xOf(b.end + 1.0));
        p.fillRect(QRectF(x0, 3, x1 - x0, h - 6), k % 2 ? QColor(0x6C, 0x8E, 0xBF) : QColor(0x3B, 0x5B, 0x92));
    }
    for (const Band* b : order)
        if (b->highlighted) {
            const double x0 = xOf(b->start);
            const double x1 = std::max(x0 + 2.0, xOf(b->end + 1.0));
            p.fillRect(QRectF(x0, 1, x1 - x0, h - 2), QColor(0xE0, 0x20, 0x20));
        }
    for (const Marker& m : markers_) {
        const QColor colour(m.colour & 0xFF, (m.colour >> 8) & 0xFF, (m.colour >> 16) & 0xFF);
        const double x = xOf(m.frame + 0.5);
        p.fillRect(QRectF(x - 1.5, 0, 3, h), Qt::black);
        p.fillRect(QRectF(x - 0.5, 0, 1, h), colour);
    }
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ClipStripWidget::mousePressEvent(QMouseEvent* event)
{
    const int32_t frame = frameAt(event->position().toPoint().x());
    if (event->button() == Qt::LeftButton && frame >= 0)
        emit frameClicked(frame);
}

} // namespace duolo
