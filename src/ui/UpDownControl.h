#pragma once

#include <QWidget>

class QToolButton;

namespace duolo {

// Two stacked arrow buttons, the pages' spinner beside a value box: the up arrow adds one to
// the value the page keeps, the down arrow subtracts one. Holding an arrow repeats.
class UpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    // +1 for the up arrow, -1 for the down arrow.
    void stepped(int delta);

private:
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace duolo
