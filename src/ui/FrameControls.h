#pragma once

#include <QObject>
#include <QPushButton>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class QFrame;
class QHBoxLayout;
class QLabel;
class QSize;
class QSlider;
class QWidget;

namespace duolo {

class MotionCaptureSession;
class SpinSlider;

// The frame controls under the 3D view of the pages that play frames: the frame slider with
// its "N / last" label, and the Play, Pause, Frame Back and Frame Forward buttons. The parts
// are shared; what the buttons do, the tooltips and the layout stay each page's own.

// The frame slider and the label that reads "current / last" beside it. Moving the slider
// (by the user) seeks; show() moves both to the page's frame without seeking.
class FrameSlider : public QObject {
    Q_OBJECT
public:
    // Slider and label are children of `parent`, named "frameSlider" and "frameLabel".
    FrameSlider(QWidget* parent, const QString& toolTip, int labelMinimumWidth, std::function<void(int)> seek);

    QSlider* slider() const { return slider_; }
    QLabel* label() const { return label_; }

    // Range 0..last of `frameCount` frames with the given tick interval, the handle at `frame`
    // (where it was when none) and the label's text. Runs on every pass of the render loop.
    void show(int frameCount, int tickInterval, std::optional<int> frame, const QString& text);

private:
    QSlider* slider_ = nullptr;
    QLabel* label_ = nullptr;
    bool syncing_ = false;  // show() is moving the slider: no seek
};

// "current / last" for a take of `frameCount` frames.
QString frameText(int current, int frameCount);

// A tick per frame on short takes; on long ones at most about a hundred ticks.
int tickPerFrameInterval(int frameCount);

// Sets the session's frame, held inside the take; nothing when the take has no frame.
void setFrameInside(MotionCaptureSession& session, int frame);

// Replaying the recording itself, a frame a pass (Simple Playback, Animation Dissection): Play
// starts, and pressed again stops and returns to frame 0; Pause stops where it is; the frame
// buttons stop and move one frame (wrapping at the ends); a seek stops and moves to the frame.
class SessionFramePlayer {
public:
    bool isPlaying() const { return playing_; }
    void stop() { playing_ = false; }
    void togglePlay(MotionCaptureSession& session);
    void frameForward(MotionCaptureSession& session);
    void frameBack(MotionCaptureSession& session);
    // Moves only while the page is active (a hidden page's slider must not move the frame).
    void seek(MotionCaptureSession& session, int frame, bool pageActive);
    // One pass of the render loop: the next frame while playing.
    void step(MotionCaptureSession& session) const;

private:
    bool playing_ = false;
};

// The sunken frame a page hands to setViewArea() for its 3D view; it grows with the page.
QFrame* makeViewArea(QWidget* parent, const QString& objectName, const QSize& minimumSize);

struct FrameButtons {
    QPushButton* play = nullptr;
    QPushButton* pause = nullptr;
    QPushButton* back = nullptr;
    QPushButton* forward = nullptr;
    std::array<QPushButton*, 4> all() const { return {play, pause, back, forward}; }
};
struct FrameButtonTips {
    QString play, pause, back, forward;  // an empty one: no tooltip
};

// The four buttons, children of `parent`, connected to the page's play(), pause(), frameBack()
// and frameForward().
template <class Page>
FrameButtons makeFrameButtons(Page* page, QWidget* parent, const FrameButtonTips& tips)
{
    auto make = [parent](const char* caption, const QString& tip) {
        auto* b = new QPushButton(QObject::tr(caption), parent);
        if (!tip.isEmpty())
            b->setToolTip(tip);
        return b;
    };
    FrameButtons b{make("Play", tips.play), make("Pause", tips.pause), make("Frame Back", tips.back),
                   make("Frame Forward", tips.forward)};
    QObject::connect(b.play, &QPushButton::clicked, page, &Page::play);
    QObject::connect(b.pause, &QPushButton::clicked, page, &Page::pause);
    QObject::connect(b.back, &QPushButton::clicked, page, &Page::frameBack);
    QObject::connect(b.forward, &QPushButton::clicked, page, &Page::frameForward);
    return b;
}

// The buttons in a row, 110 pixels wide at least, with `label` at the row's right end.
QHBoxLayout* frameButtonRow(const FrameButtons& buttons, QLabel* label);

// The view column of the pages that replay the recording: the view frame, the spin slider, the
// frame slider and the four buttons in a row ending in the frame label.
struct PlaybackColumn {
    QWidget* column = nullptr;
    QFrame* viewArea = nullptr;
    SpinSlider* spinSlider = nullptr;
    FrameSlider* frames = nullptr;
};
PlaybackColumn makePlaybackColumnParts(QWidget* parent, const QString& sliderTip, std::function<void(int)> seek);
void layOutPlaybackColumn(const PlaybackColumn& parts, const FrameButtons& buttons);

// The whole column, its slider and buttons connected to the page's seekFrame() and the rest.
template <class Page>
PlaybackColumn makePlaybackColumn(Page* page, QWidget* parent, const QString& sliderTip, const FrameButtonTips& tips)
{
    PlaybackColumn parts = makePlaybackColumnParts(parent, sliderTip, [page](int frame) { page->seekFrame(frame); });
    layOutPlaybackColumn(parts, makeFrameButtons(page, parts.column, tips));
    return parts;
}

} // namespace duolo
