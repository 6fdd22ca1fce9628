#include "ui/UpDownControl.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace duolo {

UpDownControl::UpDownControl(QWidget* parent) : QWidget(parent)
{
    auto makeArrow = [this](Qt::ArrowType arrow, int delta) {
        auto* button = new QToolButton(this);
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setFixedSize(22, 15);
        connect(button, &QToolButton::clicked, this, [this, delta] { emit stepped(delta); });
        return button;
    };
    up_ = makeArrow(Qt::UpArrow, +1);
    down_ = makeArrow(Qt::DownArrow, -1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

} // namespace duolo
