#pragma once

#include "motiongraph/GraphView.h"
#include "playback/EnsemblePlayer.h"
#include "playback/PathFollowing.h"
#include "playback/PlaybackRecording.h"
#include "playback/TransitionBlend.h"
#include "render/PlaybackDrawing.h"
#include "ui/PipelinePage.h"

#include <QImage>
#include <QPoint>
#include <QPointer>

#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QPainter;
class QSlider;
class QSpinBox;

namespace duolo {

class ClipStripWidget;
class FrameSlider;
class Group;
class GraphCanvasWidget;
class SpinSlider;
class TapSoundPlayer;
class UpDownControl;
class ValueBox;

// "Duolo MG Playback": every group walks its own motion graph at once, as one ensemble, drawn
// in the 3D view with the graphs beside it in a 2D panel. The playback engine steps, chooses
// and judges; this page only calls it each pass, draws what it returns and offers the controls:
// play, pause, single steps, the group shown, the constraints, recording and TRC export.
//
// A group without a motion graph (or without poses) is left out: it is neither drawn nor
// stepped, and a line under the view names it.
class GraphPlaybackPage : public PipelinePage {
    Q_OBJECT
public:
    explicit GraphPlaybackPage(MainDialog& mainWindow);
    ~GraphPlaybackPage() override;

    bool isPlaying() const { return playing_; }
    int selectedGroupNumber() const { return selectedGroupNumber_; }
    // The selected group, or null when the session has none.
    Group* selectedGroup() const;
    // The groups that take part: those with a current node and poses.
    std::vector<Group*> playableGroups() const;

    // The controls' actions, as the buttons, spinner and sliders run them.
    void play();
    void pause();
    void frameForward();
    void frameBack();
    void moveToOrigin();
    void stepGroupNumber(int delta);
    void seekFrame(int frame);
    void toggleRecording();
    // Writes the recording to `path` as a TRC file; false after reporting a failure.
    bool exportRecording(const QString& path);
    // "Export Video": plays on for `seconds` and renders every pass off screen as the 3D view
    // shows it (25 pictures per second, the view's size) into an MP4 file, with a progress
    // dialog and Cancel. `shown` receives each picture. False after reporting a failure, or
    // when cancelled; the unfinished file is removed either way.
    bool exportVideo(const QString& path, int seconds, std::vector<QImage>* shown = nullptr);

    QString frameText() const;
    QString noGraphText() const;
    QString clipStripText() const;
    const PlaybackRecording& recording() const { return recording_; }
    const PlaybackScene& scene() const { return scene_; }
    const EnsemblePlayer& player() const { return player_; }
    // The 2D panel's picture as its next paint shows it.
    QImage panelImage() const;

    QPushButton* playButton() const { return play_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* frameForwardButton() const { return forward_; }
    QPushButton* frameBackButton() const { return back_; }
    QPushButton* moveToOriginButton() const { return toOrigin_; }
    QPushButton* drawPathButton() const { return drawPath_; }
    QPushButton* clearPathButton() const { return clearPath_; }
    // "Draw Path": on, clicks on the view add floor points; off again, the path group (the
    // selected one, or its parent) starts following the path drawn. "Clear Path" ends it.
    void setDrawingPath(bool drawing);
    void clearPath();
    // The floor point under a pixel of the view, added to the path being drawn (false when the
    // pixel looks above the horizon or there is no view).
    bool addPathPointAtPixel(double x, double y);
    const std::vector<FloorPath::Point>& pathPoints() const { return pathPoints_; }
    bool isFollowingPath() const { return follower_ != nullptr; }
    // The group that walks the path: the selected group, or its parent when it rides on one.
    int pathGroupNumber() const;
    QPushButton* recordButton() const { return record_; }
    QPushButton* exportButton() const { return export_; }
    QPushButton* exportVideoButton() const { return exportVideo_; }
    UpDownControl* groupSpinner() const { return groupSpinner_; }
    ValueBox* groupBox() const { return groupBox_; }
    QCheckBox* showAllGroupsBox() const { return showAll_; }
    SpinSlider* spinSlider() const { return spinSlider_; }
    QSlider* frameSlider() const;
    QCheckBox* rotationConstraintBox() const { return rotationCheck_; }
    QSlider* rotationSlider() const { return rotationSlider_; }
    ValueBox* rotationBox() const { return rotationBox_; }
    QCheckBox* balanceConstraintBox() const { return balanceCheck_; }
    QSlider* balanceSlider() const { return balanceSlider_; }
    ValueBox* balanceBox() const { return balanceBox_; }
    QLabel* noGraphLine() const { return noGraphLine_; }
    QLabel* noGroupNote() const { return noGroupNote_; }
    QLabel* clipStrip() const { return clipStrip_; }
    // "Blend": frames over which transitions are smoothed in what is drawn and recorded.
    QSpinBox* blendBox() const { return blend_; }

    void activate() override;

    // The 2D panel's own view: wheel zoom, drag to pan, Home to fit, and "Follow" keeping the
    // playing groups' current nodes in view.
    const GraphView& panelView() const { return graphView_; }
    QCheckBox* followBox() const { return follow_; }
    QCheckBox* turnTravelBox() const { return turnTravel_; }
    QCheckBox* topViewBox() const { return topView_; }
    GraphCanvasWidget* panel() const { return panel_; }
    ClipStripWidget* clipBands() const { return clipBands_; }
    void fitPanel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void drawScene() override;
    // One pass of the loop: highlight the current nodes, gather what the view shows (stepping
    // the groups while playing), move the frame displays and redraw the 2D panel.
    void advance() override;
    void stopPlayback() override { setPlaying(false); }

private:
    // Starts or stops playback, and with it the taps' sound.
    void setPlaying(bool playing);
    QWidget* buildGraphColumn(QWidget* parent);
    QWidget* buildViewColumn(QWidget* parent);
    void setFrameFromSelection();
    void gatherScene(bool showAll);
    void recordPass();
    void runPass();  // what advance() does, unless a video export is stepping
    void refreshDisplays();
    void refreshRecordingText();
    void clearBlends();
    void forgetPath();
    void refreshClipBands();
    void drawPanel(QPainter& painter);
    // What the view and the panel show depends on (changes whenever they must be redrawn).
    std::vector<double> stateKey(bool showAll) const;

    bool playing_ = false;
    bool exportingVideo_ = false;
    // The main window's player; it goes before the pages when the window closes.
    QPointer<TapSoundPlayer> tapSound_;
    int selectedGroupNumber_ = 0;
    double markerRadius_ = 0.3;
    int markerPatches_ = 8;
    bool fitPanel_ = true;  // fit the panel to the selected graph when next drawn
    EnsemblePlayer player_;
    GraphView graphView_;
    PlaybackScene scene_;
    PlaybackRecording recording_;
    TransitionBlender drawBlender_;    // what the view shows
    TransitionBlender recordBlender_;  // what "Record" keeps (taken before each pass's step)
    std::vector<double> shownState_;
    QString recordingNote_;  // why the recording stopped by itself

    QFrame* viewArea_ = nullptr;
    QLabel* noGroupNote_ = nullptr;
    QLabel* noGraphLine_ = nullptr;
    GraphCanvasWidget* panel_ = nullptr;
    QLabel* clipStrip_ = nullptr;
    ClipStripWidget* clipBands_ = nullptr;
    SpinSlider* spinSlider_ = nullptr;
    FrameSlider* frames_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* forward_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* toOrigin_ = nullptr;
    QPushButton* drawPath_ = nullptr;
    QPushButton* clearPath_ = nullptr;
    std::vector<FloorPath::Point> pathPoints_;
    std::unique_ptr<PathFollower> follower_;
    QPushButton* record_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* exportVideo_ = nullptr;
    QLabel* recordingLabel_ = nullptr;
    UpDownControl* groupSpinner_ = nullptr;
    ValueBox* groupBox_ = nullptr;
    QCheckBox* showAll_ = nullptr;
    QCheckBox* follow_ = nullptr;
    QPoint dragFrom_;
    bool panning_ = false;
    QCheckBox* rotationCheck_ = nullptr;
    QSlider* rotationSlider_ = nullptr;
    ValueBox* rotationBox_ = nullptr;
    QCheckBox* balanceCheck_ = nullptr;
    QSlider* balanceSlider_ = nullptr;
    ValueBox* balanceBox_ = nullptr;
    QSpinBox* blend_ = nullptr;
    QCheckBox* turnTravel_ = nullptr;
    QCheckBox* topView_ = nullptr;
};

} // namespace duolo
