#pragma once

#include <QSlider>

namespace duolo {

// The turn control under a 3D view: -10..10 degrees per frame with a tick at every step. The
// scene turns only while the slider is held away from the middle: on release it springs back
// to 0, which stops the turn and leaves the scene where it is.
//
// It is drawn as a centred control: a plain channel with a notch at 0 and, while held, a band
// from the middle to the handle. (Styles fill the groove from the left end to the handle, which
// makes the slider at rest look like a half-full progress bar.)
class SpinSlider : public QSlider {
    Q_OBJECT
public:
    explicit SpinSlider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Whatever moved the slider, letting go of it brings it back to 0.
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The wheel has nothing to let go of: it does not turn the view.
    void wheelEvent(QWheelEvent* event) override;
};

} // namespace duolo
