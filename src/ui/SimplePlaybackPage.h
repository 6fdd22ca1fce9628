#pragma once

#include "ui/FrameControls.h"
#include "ui/PipelinePage.h"

class QCheckBox;
class QFrame;
class QSlider;

namespace duolo {

class SpinSlider;
class UpDownControl;
class ValueBox;

// "Simple Playback": replays the raw recording frame by frame, with the marker size and the
// display options (shared by every view that draws the whole session) chosen here.
class SimplePlaybackPage : public PipelinePage {
    Q_OBJECT
public:
    explicit SimplePlaybackPage(MainDialog& mainWindow);

    bool isPlaying() const { return player_.isPlaying(); }
    double markerRadius() const { return markerRadius_; }
    int markerPatches() const { return markerPatches_; }

    // The controls' actions, as the buttons and spinners run them.
    void play();
    void pause();
    void frameForward();
    void frameBack();
    void stepRadius(int delta);
    void stepPatches(int delta);
    // The frame slider was moved by the user.
    void seekFrame(int frame);

    QString frameText() const;
    QSlider* frameSlider() const;
    SpinSlider* spinSlider() const { return spinSlider_; }
    QCheckBox* showUngroupedBox() const { return showUngrouped_; }
    QCheckBox* showGroupedBox() const { return showGrouped_; }
    QCheckBox* showSkeletonBox() const { return showSkeleton_; }
    QCheckBox* showHeadingBox() const { return showHeading_; }
    UpDownControl* radiusSpinner() const { return radiusSpinner_; }
    UpDownControl* patchesSpinner() const { return patchesSpinner_; }
    ValueBox* radiusBox() const { return radiusBox_; }
    ValueBox* patchesBox() const { return patchesBox_; }

    void activate() override;

protected:
    void drawScene() override;
    void advance() override;
    void stopPlayback() override { player_.stop(); }

private:
    QWidget* buildViewColumn(QWidget* parent);
    QWidget* buildOptionsColumn(QWidget* parent);
    void syncFrameControls();
    void updateValueBoxes();

    SessionFramePlayer player_;
    double markerRadius_ = 0.3;
    int markerPatches_ = 8;

    QFrame* viewArea_ = nullptr;
    SpinSlider* spinSlider_ = nullptr;
    FrameSlider* frames_ = nullptr;
    QCheckBox* showUngrouped_ = nullptr;
    QCheckBox* showGrouped_ = nullptr;
    QCheckBox* showSkeleton_ = nullptr;
    QCheckBox* showHeading_ = nullptr;
    UpDownControl* radiusSpinner_ = nullptr;
    UpDownControl* patchesSpinner_ = nullptr;
    ValueBox* radiusBox_ = nullptr;
    ValueBox* patchesBox_ = nullptr;
};

} // namespace duolo
