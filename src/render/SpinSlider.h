#pragma once

#include <QSlider>

namespace duolo {

// The turn control under a 3D view: -10..10 degrees per frame with a tick at every step. The
// scene turns only while the slider is held away from the middle: on release it springs back
// to 0, which stops the turn and leaves the scene where it is.
class SpinSlider : public QSlider {
    Q_OBJECT
public:
    explicit SpinSlider(QWidget* parent = nullptr);

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
};

} // namespace duolo
