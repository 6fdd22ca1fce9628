#include "render/ValueBox.h"

#include "capture/ValueFormat.h"

#include <QFontMetrics>
#include <QPainter>

namespace duolo {

QColor colourFromColourRef(uint32_t colour)
{
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

namespace {

QFont valueFont(const ValueBoxStyle& style)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(style.pointSize);
    font.setBold(style.bold);
    return font;
}

} // namespace

void drawValueBox(QPainter& painter, const QRect& box, const QString& text, const ValueBoxStyle& style)
{
    painter.save();
    painter.setClipRect(box);
    painter.setPen(QPen(style.border, 1));
    painter.setBrush(style.background);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setFont(valueFont(style));
    painter.setPen(style.text);
    // Centred by the text's own extent, so an over-long text loses both ends alike.
    const QFontMetrics metrics(painter.font());
    const int width = metrics.horizontalAdvance(text);
    const int x = box.left() + box.width() / 2 - width / 2;
    const int y = box.top() + box.height() / 2 - metrics.height() / 2;
    painter.drawText(QRect(x, y, width, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
    painter.restore();
}

ValueBox::ValueBox(QWidget* parent, const ValueBoxStyle& style) : QFrame(parent), style_(style)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setMinimumHeight(QFontMetrics(valueFont(style_)).height() + 6);
}

void ValueBox::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    update();
}

void ValueBox::setNumber(double value, int minDecimals)
{
    setText(QString::fromStdString(formatNumber(value, minDecimals)));
}

void ValueBox::setStyle(const ValueBoxStyle& style)
{
    style_ = style;
    setMinimumHeight(QFontMetrics(valueFont(style_)).height() + 6);
    update();
}

QSize ValueBox::sizeHint() const
{
    const QFontMetrics metrics(valueFont(style_));
    return {std::max(60, metrics.horizontalAdvance(text_) + 16), metrics.height() + 8};
}

void ValueBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    drawValueBox(painter, contentsRect(), text_, style_);
}

} // namespace duolo
