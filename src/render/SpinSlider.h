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
    // Whatever moved the slider, letting go of it brings it back to 0.
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The wheel has nothing to let go of: it does not turn the view.
    void wheelEvent(QWheelEvent* event) override;
};

} // namespace duolo
