#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

#include <cstdint>

class QPainter;

namespace duolo {

// A display colour 0x00BBGGRR (red in the low byte) as a QColor.
QColor colourFromColourRef(uint32_t colour);

struct ValueBoxStyle {
    int pointSize = 16;
    QColor background = colourFromColourRef(0xC8D0D4);
    QColor text = Qt::black;
    QColor border = Qt::white;
    bool bold = true;
};

// Paints a filled box with a one-pixel border and the text centred in bold Arial; a text wider
// than the box is centred and clipped on both sides.
void drawValueBox(QPainter& painter, const QRect& box, const QString& text, const ValueBoxStyle& style);

// A sunken frame showing one boxed value (the pages' numeric displays and the status strip).
class ValueBox : public QFrame {
    Q_OBJECT
public:
    explicit ValueBox(QWidget* parent = nullptr, const ValueBoxStyle& style = {});

    const QString& text() const { return text_; }
    const ValueBoxStyle& style() const { return style_; }
    void setText(const QString& text);
    // Shows the number with formatNumber's rule.
    void setNumber(double value, int minDecimals);
    void setStyle(const ValueBoxStyle& style);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    ValueBoxStyle style_;
};

} // namespace duolo
