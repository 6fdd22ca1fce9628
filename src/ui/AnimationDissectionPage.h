#pragma once

#include "motiongraph/DistanceMap.h"
#include "ui/FrameControls.h"
#include "ui/PipelinePage.h"

#include <map>
#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;

namespace duolo {

class BackgroundJob;
class DistanceMapWindow;
class Group;
class SpinSlider;
class UpDownControl;
class ValueBox;

// "Animation Dissection": the stage where each group's recording becomes its motion graph, by
// hand (a clip marked with "Set Start"/"Set End" and sent to the graph) or all at once from the
// frame distances ("Create Entire Motion Graph" with the "Gaps" and "Threshold" sliders).
//
// The first visit measures every group (poses, then the largest frame distance) and the build
// runs on a worker thread behind a modal progress dialog; the group being worked on is handed
// to the worker and the UI thread leaves it alone until the job is done.
class AnimationDissectionPage : public PipelinePage {
    Q_OBJECT
public:
    explicit AnimationDissectionPage(MainDialog& mainWindow);
    ~AnimationDissectionPage() override;

    static constexpr double kMarkerRadius = 0.3;
    static constexpr int kMarkerPatches = 8;

    bool isPlaying() const { return player_.isPlaying(); }
    int groupNumber() const { return groupNumber_; }
    int gaps() const { return gaps_; }
    int threshold() const { return threshold_; }
    int clipStart() const { return clipStart_; }
    int clipEnd() const { return clipEnd_; }
    // Whether the group's largest frame distance has been measured on this page.
    bool isMeasured(const Group* group) const;
    // A job (measuring, building or mapping) is running.
    bool isBusy() const { return job_ != nullptr; }
    BackgroundJob* job() const { return job_; }
    QString frameText() const;

    // The controls' actions, as the buttons, sliders and spinner run them.
    void play();
    void pause();
    void frameForward();
    void frameBack();
    void seekFrame(int frame);
    void setStart();
    void setEnd();
    void sendToMotionGraph();
    void createEntireMotionGraph();
    void stepGroup(int delta);
    // "Clear Graph": after asking, empties the current group's graph (one undoable step).
    void clearGraph();
    // "Remove Dead Ends": keeps the current group's largest strongly connected component.
    void removeDeadEnds();
    void goToNextStep();
    void showDistanceMap();

    QSlider* frameSlider() const;
    SpinSlider* spinSlider() const { return spinSlider_; }
    QSlider* gapsSlider() const { return gapsSlider_; }
    QSlider* thresholdSlider() const { return thresholdSlider_; }
    UpDownControl* groupSpinner() const { return groupSpinner_; }
    ValueBox* groupBox() const { return groupBox_; }
    ValueBox* gapsBox() const { return gapsBox_; }
    ValueBox* thresholdBox() const { return thresholdBox_; }
    QCheckBox* showAllGroupsBox() const { return showAllGroups_; }
    QLabel* noGroupsNote() const { return noGroupsNote_; }
    DistanceMapWindow* distanceMapWindow() const { return mapWindow_; }

    void activate() override;
    void deactivate() override;
    void documentRestored(bool sessionReplaced) override;

signals:
    // After each pass of the render loop (the benchmark measures the gaps between them).
    void frameAdvanced();
    // A job has finished and its results are in the session.
    void jobFinished();

protected:
    void drawScene() override;
    void advance() override;
    void stopPlayback() override { player_.stop(); }

private:
    QWidget* buildViewColumn(QWidget* parent);
    QWidget* buildControlColumn(QWidget* parent);
    Group* currentGroup() const;
    void showGroupState();
    void resetThreshold();
    // The threshold slider's range from the current group's maximum, keeping the user's value
    // where it still fits.
    void syncThresholdRange();
    void updateNextStepTip();
    void syncFrameControls();
    void updateValueBoxes();
    void updateDistanceMapStyle();
    // The group's map of the given term, if measured.
    std::shared_ptr<const DistanceMap> measuredMap(const Group* g, DistanceTerm term) const;
    // Measures (poses, then the largest distance) the given groups, all of them when opening.
    void measureGroups(const std::vector<Group*>& groups);
    void startJob(BackgroundJob* job);
    void finishJob(bool measured);
    void reportUnposable(const std::vector<std::pair<int, std::string>>& problems);

    SessionFramePlayer player_;
    bool leaving_ = false;
    int clipStart_ = -1;
    int clipEnd_ = -1;
    int groupNumber_ = 0;
    int gaps_ = 10;
    int threshold_ = 0;
    std::map<const Group*, bool> measured_;   // every group seen: measured or not
    std::map<const Group*, std::shared_ptr<const DistanceMap>> maps_;
    std::map<const Group*, std::shared_ptr<const DistanceMap>> positionMaps_;  // the position term only
    bool opened_ = false;  // the page has been shown once
    BackgroundJob* job_ = nullptr;

    QFrame* viewArea_ = nullptr;
    QLabel* noGroupsNote_ = nullptr;
    QLabel* pruneNote_ = nullptr;  // what the last "Remove Dead Ends" kept
    SpinSlider* spinSlider_ = nullptr;
    FrameSlider* frames_ = nullptr;
    QSlider* gapsSlider_ = nullptr;
    QSlider* thresholdSlider_ = nullptr;
    UpDownControl* groupSpinner_ = nullptr;
    ValueBox* groupBox_ = nullptr;
    ValueBox* gapsBox_ = nullptr;
    ValueBox* thresholdBox_ = nullptr;
    QCheckBox* showAllGroups_ = nullptr;
    QPushButton* nextStep_ = nullptr;
    QList<QWidget*> groupControls_;   // disabled while the session has no group
    DistanceMapWindow* mapWindow_ = nullptr;
};

} // namespace duolo
