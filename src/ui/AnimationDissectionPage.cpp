#include "ui/AnimationDissectionPage.h"

#include "capture/MessageSink.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphPruning.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/BackgroundJob.h"
#include "ui/DissectionTasks.h"
#include "ui/DistanceMapWindow.h"
#include "ui/FrameControls.h"
#include "ui/MainDialog.h"
#include "ui/SavePicture.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace duolo {

namespace {

QPushButton* makeButton(const QString& caption, const QString& tip, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setToolTip(tip);
    b->setMinimumWidth(110);
    return b;
}

QSlider* makeSlider(int from, int to, int position, int ticks, QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(from, to);
    s->setValue(position);
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(ticks);
    return s;
}

} // namespace

AnimationDissectionPage::AnimationDissectionPage(MainDialog& mainWindow) : PipelinePage(mainWindow)
{
    auto* frame = new QGroupBox(tr("Animation Dissection"), this);
    auto* columns = new QHBoxLayout(frame);
    columns->setContentsMargins(12, 20, 12, 12);
    columns->setSpacing(16);
    columns->addWidget(buildViewColumn(frame), 1);
    columns->addWidget(buildControlColumn(frame), 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);

    setViewArea(viewArea_, SceneLighting::Lit, spinSlider_);
    // The picture is the frame of the shown group (or all groups): the base sees the frame,
    // the turn and the display options; the group number and what a job changes in the
    // groups (built poses hide the heading and up arrows) are reported below.
    setRedrawOnDemand(true);
    noGroupsNote_ = new QLabel(tr("This session has no groups yet. Groups are built on the Skeleton Builder "
                                  "page: select markers there and press \"Create Group\", give the group a "
                                  "heading and an up vector, then come back here."),
                               viewArea_);
    noGroupsNote_->setObjectName(QStringLiteral("noGroupsNote"));
    noGroupsNote_->setAlignment(Qt::AlignCenter);
    noGroupsNote_->setWordWrap(true);
    noGroupsNote_->hide();
    viewArea_->layout()->addWidget(noGroupsNote_);

    mapWindow_ = new DistanceMapWindow(this);
    mapWindow_->hide();
    offerSavePicture(mapWindow_->canvas(), mainWindow, [canvas = mapWindow_->canvas()] { return canvas->grab().toImage(); });
    connect(mapWindow_->canvas(), &DistanceMapCanvas::sourceFrameChosen, this, &AnimationDissectionPage::seekFrame);
    // The other view of an open window: measured once per group, on first asking.
    connect(mapWindow_, &DistanceMapWindow::termChanged, this, [this] {
        if (mapWindow_->isVisible())
            showDistanceMap();
    });

    syncFrameControls();
    updateValueBoxes();
}

AnimationDissectionPage::~AnimationDissectionPage()
{
    // The main window deactivates its pages before it lets the session go, which finishes
    // any job; this is the last safety net.
    leaving_ = true;
    if (job_)
        job_->cancelAndFinish();
}

QWidget* AnimationDissectionPage::buildViewColumn(QWidget* parent)
{
    const PlaybackColumn parts = makePlaybackColumn(this, parent, tr("Frame shown; dragging stops playback"),
                                                    {tr("Play; pressing again stops and returns to frame 0"),
                                                     tr("Stop at the current frame"),
                                                     tr("One frame back (from frame 0 to the last frame)"),
                                                     tr("One frame on (from the last frame to frame 0)")});
    viewArea_ = parts.viewArea;
    spinSlider_ = parts.spinSlider;
    frames_ = parts.frames;
    return parts.column;
}

QWidget* AnimationDissectionPage::buildControlColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    auto* setStart = makeButton(tr("Set Start"), tr("Mark the current frame as the clip's first frame"), column);
    auto* setEnd = makeButton(tr("Set End"), tr("Mark the current frame as the clip's last frame"), column);
    auto* send = makeButton(tr("Send To MG"), tr("Add the marked clip to the group's motion graph"), column);
    auto* create = makeButton(tr("Create Entire Motion Graph"),
                              tr("Cut the group's recording into clips joined wherever two frames at least "
                                 "\"Gaps\" apart are within \"Threshold\" of each other"),
                              column);
    auto* distanceMap = makeButton(tr("Distance Map"),
                                   tr("Show the group's frame distances as a picture, to choose the threshold"),
                                   column);
    auto* clear = makeButton(tr("Clear Graph"),
                             tr("Empty the group's motion graph, so that the next build starts afresh"), column);
    auto* prune = makeButton(tr("Remove Dead Ends"),
                             tr("Keep only the largest part of the group's motion graph in which every clip "
                                "can reach every other, so that playback never runs into a clip without a way on"),
                             column);
    pruneNote_ = new QLabel(column);
    pruneNote_->setObjectName(QStringLiteral("pruneNote"));
    pruneNote_->setWordWrap(true);
    auto* save = makeButton(tr("Save Progress"),
                            tr("Save the project, with every group's motion graph in the graph file beside it"),
                            column);
    auto* next = makeButton(tr("Go To Next Step"), QString(), column);
    nextStep_ = next;
    for (auto [b, name] : {std::pair{setStart, "setStart"}, {setEnd, "setEnd"}, {send, "sendToMG"},
                           {create, "createEntireMotionGraph"}, {distanceMap, "distanceMap"},
                           {clear, "clearGraph"}, {prune, "removeDeadEnds"}, {save, "saveProgress"}, {next, "goToNextStep"}})
        b->setObjectName(QString::fromLatin1(name));
    connect(clear, &QPushButton::clicked, this, &AnimationDissectionPage::clearGraph);
    connect(prune, &QPushButton::clicked, this, &AnimationDissectionPage::removeDeadEnds);
    connect(save, &QPushButton::clicked, this, [this] { this->mainWindow.saveProgress(); });
    connect(setStart, &QPushButton::clicked, this, &AnimationDissectionPage::setStart);
    connect(setEnd, &QPushButton::clicked, this, &AnimationDissectionPage::setEnd);
    connect(send, &QPushButton::clicked, this, &AnimationDissectionPage::sendToMotionGraph);
    connect(create, &QPushButton::clicked, this, &AnimationDissectionPage::createEntireMotionGraph);
    connect(distanceMap, &QPushButton::clicked, this, &AnimationDissectionPage::showDistanceMap);
    connect(next, &QPushButton::clicked, this, &AnimationDissectionPage::goToNextStep);

    gapsSlider_ = makeSlider(0, 20, gaps_, 2, column);
    gapsSlider_->setObjectName(QStringLiteral("gapsSlider"));
    gapsSlider_->setToolTip(tr("Least number of frames between the two ends of a transition"));
    connect(gapsSlider_, &QSlider::valueChanged, this, [this](int value) {
        gaps_ = value;
        updateValueBoxes();
    });
    thresholdSlider_ = makeSlider(0, 0, 0, 1, column);
    thresholdSlider_->setObjectName(QStringLiteral("thresholdSlider"));
    thresholdSlider_->setToolTip(tr("Largest frame distance of a transition"));
    connect(thresholdSlider_, &QSlider::valueChanged, this, [this](int value) {
        threshold_ = value;
        updateValueBoxes();
        updateDistanceMapStyle();
    });

    ValueBoxStyle small;
    small.pointSize = 12;
    gapsBox_ = new ValueBox(column, small);
    thresholdBox_ = new ValueBox(column, small);
    groupBox_ = new ValueBox(column);
    for (ValueBox* box : {gapsBox_, thresholdBox_, groupBox_})
        box->setMinimumWidth(80);
    groupSpinner_ = new UpDownControl(column);
    groupSpinner_->setObjectName(QStringLiteral("groupSpinner"));
    groupSpinner_->setToolTip(tr("The group shown and worked on"));
    connect(groupSpinner_, &UpDownControl::stepped, this, &AnimationDissectionPage::stepGroup);

    showAllGroups_ = new QCheckBox(tr("Show All Groups"), column);
    showAllGroups_->setObjectName(QStringLiteral("showAllGroups"));
    connect(showAllGroups_, &QCheckBox::toggled, this,
            [this](bool on) {
                this->mainWindow.displayOptions().showAllGroups = on;
                requestRedraw();
            });

    auto* grid = new QGridLayout(column);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(8);
    int row = 0;
    grid->addWidget(setStart, row, 0);
    grid->addWidget(setEnd, row++, 1, 1, 2);
    grid->addWidget(send, row++, 0, 1, 3);
    grid->setRowMinimumHeight(row++, 12);
    grid->addWidget(new QLabel(tr("Gaps"), column), row, 0);
    grid->addWidget(gapsBox_, row++, 2);
    grid->addWidget(gapsSlider_, row++, 0, 1, 3);
    grid->addWidget(new QLabel(tr("Threshold"), column), row, 0);
    grid->addWidget(thresholdBox_, row++, 2);
    grid->addWidget(thresholdSlider_, row++, 0, 1, 3);
    grid->addWidget(create, row++, 0, 1, 3);
    grid->addWidget(distanceMap, row++, 0, 1, 3);
    grid->addWidget(clear, row++, 0, 1, 3);
    grid->addWidget(prune, row++, 0, 1, 3);
    grid->addWidget(pruneNote_, row++, 0, 1, 3);
    grid->setRowMinimumHeight(row++, 12);
    grid->addWidget(new QLabel(tr("Group Number"), column), row, 0);
    grid->addWidget(groupSpinner_, row, 1);
    grid->addWidget(groupBox_, row++, 2);
    grid->addWidget(showAllGroups_, row++, 0, 1, 3);
    grid->setRowStretch(row++, 1);
    grid->addWidget(save, row, 0);
    grid->addWidget(next, row++, 1, 1, 2);

    groupControls_ = {setStart, setEnd, send, create, distanceMap, clear, prune, gapsSlider_, thresholdSlider_,
                      groupSpinner_, showAllGroups_};
    return column;
}

Group* AnimationDissectionPage::currentGroup() const
{
    const auto& groups = session().groups;
    if (groupNumber_ < 0 || groupNumber_ >= static_cast<int>(groups.size()))
        return nullptr;
    return groups[static_cast<size_t>(groupNumber_)].get();
}

bool AnimationDissectionPage::isMeasured(const Group* group) const
{
    const auto it = measured_.find(group);
    return it != measured_.end() && it->second;
}

void AnimationDissectionPage::activate()
{
    PipelinePage::activate();
    showAllGroups_->setChecked(mainWindow.displayOptions().showAllGroups);

    // The builder's page stays reachable: groups may have come or gone since the last visit.
    std::vector<Group*> unseen;
    std::map<const Group*, bool> kept;
    for (const auto& g : session().groups) {
        const auto it = measured_.find(g.get());
        if (it != measured_.end())
            kept.insert(*it);
        else
            unseen.push_back(g.get());
    }
    measured_ = std::move(kept);
    for (auto* maps : {&maps_, &positionMaps_})
        for (auto it = maps->begin(); it != maps->end();)
            it = measured_.count(it->first) ? std::next(it) : maps->erase(it);
    groupNumber_ = std::clamp(groupNumber_, 0, std::max(0, session().groupCount() - 1));
    showGroupState();
    syncFrameControls();
    requestRedraw();
    updateNextStepTip();
    if (!unseen.empty()) {
        // The first visit measures every group in list order; later visits the new ones only
        // (a group left unmeasured by a cancel waits for "Create Entire Motion Graph").
        measureGroups(unseen);
    } else if (!opened_) {
        resetThreshold();
    } else {
        // Back from another page: the user's threshold stays.
        syncThresholdRange();
    }
    opened_ = true;
}

void AnimationDissectionPage::documentRestored(bool sessionReplaced)
{
    if (sessionReplaced) {
        // New groups: each is measured again when the page is next shown.
        measured_.clear();
        maps_.clear();
        positionMaps_.clear();
    }
    updateDistanceMapStyle();
    updateNextStepTip();
    requestRedraw();
}

void AnimationDissectionPage::deactivate()
{
    if (job_) {
        // Leaving (or closing) while a job runs: keep what it finished, say nothing.
        leaving_ = true;
        job_->cancelAndFinish();
        leaving_ = false;
    }
    mapWindow_->hide();
    offerSavePicture(mapWindow_->canvas(), mainWindow, [canvas = mapWindow_->canvas()] { return canvas->grab().toImage(); });
    PipelinePage::deactivate();
}

void AnimationDissectionPage::showGroupState()
{
    const bool any = session().groupCount() > 0;
    noGroupsNote_->setVisible(!any);
    if (view())
        view()->setVisible(any);
    for (QWidget* w : groupControls_)
        w->setEnabled(any);
}

void AnimationDissectionPage::reportUnposable(const std::vector<std::pair<int, std::string>>& problems)
{
    if (problems.empty())
        return;
    std::string text;
    for (const auto& [number, why] : problems)
        text += "The poses of group " + std::to_string(number) + " cannot be built: " + why + ".\n";
    text += problems.size() == 1 ? "Complete the group" : "Complete these groups";
    text += " on the Skeleton Builder page before the pipeline can go on.";
    showMessage(text);
}

void AnimationDissectionPage::measureGroups(const std::vector<Group*>& groups)
{
    auto tasks = std::make_shared<std::vector<GroupTask>>();
    std::vector<std::pair<int, std::string>> problems;
    const auto& all = session().groups;
    for (Group* g : groups) {
        const std::string problem = poseProblem(*g);
        measured_[g] = false;
        if (!problem.empty()) {
            problems.emplace_back(g->groupNumber, problem);
            continue;
        }
        GroupTask t;
        t.target = g;
        t.ordinal = static_cast<int>(std::find_if(all.begin(), all.end(), [g](const auto& p) { return p.get() == g; }) -
                                     all.begin()) + 1;
        t.scratch = poseScratch(*g);
        t.buildPoses = true;
        t.measure = true;
        tasks->push_back(std::move(t));
    }
    reportUnposable(problems);
    if (tasks->empty()) {
        resetThreshold();
        return;
    }
    const int count = session().groupCount();
    auto work = [tasks, count](BackgroundJob::Progress& progress) {
        const double n = static_cast<double>(tasks->size());
        for (size_t k = 0; k < tasks->size() && !progress.cancelled(); ++k)
            runTask((*tasks)[k], count, progress, k / n, (k + 1) / n);
    };
    const bool firstOpening = !opened_;
    auto done = [this, tasks, firstOpening](bool) {
        std::vector<std::pair<int, std::string>> failed;
        std::vector<int> unmeasured;
        for (GroupTask& t : *tasks) {
            applyTask(t);
            measured_[t.target] = t.measured;
            maps_.erase(t.target);
            positionMaps_.erase(t.target);
            if (t.posesTried && !t.posesBuilt)
                failed.emplace_back(t.target->groupNumber, "its trajectories have no samples");
            else if (!t.measured)
                unmeasured.push_back(t.target->groupNumber);
            if (!t.measured)
                t.target->maxFrameDistance = 0.0;  // its threshold slider reads 0..0
        }
        // A fresh maximum of the group shown brings its default threshold; measuring other
        // groups leaves the user's threshold alone.
        const bool shownMeasured = std::any_of(tasks->begin(), tasks->end(),
                                               [this](const GroupTask& t) { return t.target == currentGroup(); });
        finishJob(firstOpening || shownMeasured);
        if (leaving_)
            return;
        reportUnposable(failed);
        if (!unmeasured.empty()) {
            // Only a cancel leaves a posable group unmeasured; say so once for all of them.
            std::string list;
            for (size_t k = 0; k < unmeasured.size(); ++k)
                list += (k ? ", " : "") + std::to_string(unmeasured[k]);
            showMessage("Measuring was cancelled: the frame distances of group" +
                        std::string(unmeasured.size() > 1 ? "s " : " ") + list +
                        " were not measured, so their threshold stays 0. \"Create Entire Motion Graph\" "
                        "measures a group first.");
        }
    };
    startJob(new BackgroundJob(this, tr("Measuring frame distances"), std::move(work), std::move(done)));
}

void AnimationDissectionPage::startJob(BackgroundJob* job)
{
    job_ = job;
    job_->start();
}

void AnimationDissectionPage::finishJob(bool measured)
{
    if (job_) {
        job_->deleteLater();
        job_ = nullptr;
    }
    // A fresh maximum brings its default threshold; otherwise the user's threshold stays.
    if (measured)
        resetThreshold();
    else
        syncThresholdRange();
    updateNextStepTip();
    updateDistanceMapStyle();
    // The job's results are in the groups now (poses built, a graph): draw them.
    requestRedraw();
    emit jobFinished();
}

void AnimationDissectionPage::drawScene()
{
    if (session().groupCount() == 0)
        return;
    drawSessionFrame(session(), mainWindow.displayOptions(), kMarkerRadius, kMarkerPatches, groupNumber_);
}

void AnimationDissectionPage::advance()
{
    player_.step(session());
    syncFrameControls();
    emit frameAdvanced();
}

void AnimationDissectionPage::play()
{
    player_.togglePlay(session());
    syncFrameControls();
    requestRedraw();
}

void AnimationDissectionPage::pause()
{
    player_.stop();
    requestRedraw();
}

void AnimationDissectionPage::frameForward()
{
    player_.frameForward(session());
    syncFrameControls();
}

void AnimationDissectionPage::frameBack()
{
    player_.frameBack(session());
    syncFrameControls();
}

void AnimationDissectionPage::seekFrame(int frame)
{
    player_.seek(session(), frame, isActive());
    syncFrameControls();
}

void AnimationDissectionPage::setStart() { clipStart_ = session().currentFrame; }
void AnimationDissectionPage::setEnd() { clipEnd_ = session().currentFrame; }

void AnimationDissectionPage::sendToMotionGraph()
{
    Group* g = currentGroup();
    if (!g)
        return;
    // A node outside the recording would later have playback read poses that do not exist
    // (a stored frame count can exceed what the trajectories hold; poses stop there).
    const int frames = g->framesHeld();
    auto inside = [frames](int f) { return f >= 0 && f < frames; };
    if (!inside(clipStart_) || !inside(clipEnd_)) {
        showMessage("The clip cannot be sent: its start (" + std::to_string(clipStart_) + ") and end (" +
                    std::to_string(clipEnd_) + ") must both lie within frames 0 to " + std::to_string(frames - 1) +
                    ". Mark them with \"Set Start\" and \"Set End\".");
        return;
    }
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    sendToGraph(*g, clipStart_, clipEnd_);
    mainWindow.endEdit(EditHistory::Scope::Graphs,
                       tr("Send To MG %1-%2 (group %3)").arg(clipStart_).arg(clipEnd_).arg(g->groupNumber));
    updateNextStepTip();
    requestRedraw();
}

void AnimationDissectionPage::createEntireMotionGraph()
{
    Group* g = currentGroup();
    if (!g || job_)
        return;
    if (const std::string problem = poseProblem(*g); !problem.empty()) {
        reportUnposable({{g->groupNumber, problem}});
        return;
    }
    // The step starts from the graph as it is, before the worker borrows it.
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    auto task = std::make_shared<GroupTask>();
    task->target = g;
    task->ordinal = groupNumber_ + 1;
    task->measure = !isMeasured(g);
    task->buildPoses = task->measure && !g->posesBuilt;
    task->build = true;
    task->gaps = gaps_;
    task->threshold = threshold_;
    if (task->buildPoses) {
        task->scratch = poseScratch(*g);
    } else {
        task->scratch = std::make_unique<Group>(-1, g->groupNumber, g->frameCount);
        task->scratch->normalisedPoses = std::move(g->normalisedPoses);
    }
    // The graph goes to the worker and comes back; the search runs before it changes anything.
    // The search stops at a cancel, but assembling the graph runs on to its end: a cancel that
    // comes then puts back the graph as it was.
    auto before = std::make_shared<const std::vector<uint8_t>>(groupGraphBytes(*g));
    task->scratch->graph = std::move(g->graph);
    if (!task->scratch->graph)
        task->scratch->graph = std::make_unique<Graph2D>();
    task->scratch->currentNode = g->currentNode;
    task->scratch->previousNode = g->previousNode;
    const int count = session().groupCount();
    auto work = [task, count](BackgroundJob::Progress& progress) { runTask(*task, count, progress, 0.0, 1.0); };
    auto done = [this, task, before](bool cancelled) {
        applyTask(*task);
        if (task->built && cancelled) {
            std::string error;
            task->built = !restoreGroupGraph(*task->target, *before, error);
        }
        if (task->built) {
            Group& g = *task->target;
            g.lastBuild.built = true;
            g.lastBuild.gaps = task->gaps;
            g.lastBuild.threshold = task->threshold;
            g.lastBuild.transitions = std::move(task->transitions);
            mainWindow.endEdit(EditHistory::Scope::Graphs,
                               tr("Create Entire Motion Graph (group %1)").arg(g.groupNumber));
        }
        if (task->posesTried && !task->posesBuilt && !leaving_)
            reportUnposable({{task->target->groupNumber, "its trajectories have no samples"}});
        if (task->measure) {
            measured_[task->target] = task->measured;
            maps_.erase(task->target);
            positionMaps_.erase(task->target);
        }
        finishJob(task->measured);
    };
    startJob(new BackgroundJob(this, task->measure ? tr("Measuring frame distances") : tr("Finding transitions"),
                               std::move(work), std::move(done)));
}

void AnimationDissectionPage::stepGroup(int delta)
{
    // Up adds one, down subtracts one; then the number is held inside the list.
    groupNumber_ += delta;
    groupNumber_ = std::min(groupNumber_, session().groupCount() - 1);
    groupNumber_ = std::max(groupNumber_, 0);
    resetThreshold();
    if (mapWindow_->isVisible() && currentGroup())
        mapWindow_->showGroup(groupNumber_, measuredMap(currentGroup(), mapWindow_->term()));
    updateDistanceMapStyle();
    requestRedraw();
}

void AnimationDissectionPage::clearGraph()
{
    Group* g = currentGroup();
    if (!g || job_ || !g->graph || (g->graph->totalNodeCount() == 0 && !g->lastBuild.built))
        return;
    const QString question = tr("Remove every node and edge of group %1's motion graph?").arg(g->groupNumber);
    if (!mainWindow.dialogs().confirm(this, tr("Clear Graph"), question))
        return;
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    g->currentNode = g->previousNode = nullptr;
    g->graph = std::make_unique<Graph2D>();
    g->lastBuild = GraphBuildRecord{};
    mainWindow.endEdit(EditHistory::Scope::Graphs, tr("Clear Graph (group %1)").arg(g->groupNumber));
    updateDistanceMapStyle();
    updateNextStepTip();
    requestRedraw();
}

void AnimationDissectionPage::removeDeadEnds()
{
    Group* g = currentGroup();
    if (!g || job_ || !g->graph || g->graph->totalNodeCount() == 0)
        return;
    if (largestCyclicComponent(*g->graph).empty()) {
        pruneNote_->setText(tr("Group %1: the largest strongly connected component has no edge; "
                               "the graph stays as it is.")
                                .arg(g->groupNumber));
        return;
    }
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    const PruneOutcome outcome = duolo::removeDeadEnds(*g);
    mainWindow.endEdit(EditHistory::Scope::Graphs, tr("Remove Dead Ends (group %1)").arg(g->groupNumber));
    pruneNote_->setText(tr("Group %1: kept %2 of %3 nodes (%4 of %5 frames).")
                            .arg(g->groupNumber)
                            .arg(outcome.nodesKept)
                            .arg(outcome.nodesBefore)
                            .arg(outcome.framesKept)
                            .arg(outcome.framesBefore));
    updateNextStepTip();
    requestRedraw();
}

void AnimationDissectionPage::syncThresholdRange()
{
    const Group* g = currentGroup();
    const int maximum = g ? static_cast<int>(g->maxFrameDistance) : 0;
    threshold_ = std::clamp(threshold_, 0, std::max(0, maximum));
    const QSignalBlocker block(thresholdSlider_);
    thresholdSlider_->setRange(0, std::max(0, maximum));
    thresholdSlider_->setTickInterval(std::max(1, maximum / 10));
    thresholdSlider_->setValue(threshold_);
    updateValueBoxes();
    updateDistanceMapStyle();
}

void AnimationDissectionPage::updateNextStepTip()
{
    QString missing;
    for (const auto& g : session().groups)
        if (!g->graph || g->graph->nodeCount() == 0) {
            missing = tr("Group %1 has no motion graph yet (no unselected node)").arg(g->groupNumber);
            break;
        }
    nextStep_->setToolTip(missing.isEmpty() ? tr("On to the motion graph editor") : missing);
}

void AnimationDissectionPage::resetThreshold()
{
    const Group* g = currentGroup();
    threshold_ = g ? halfOf(g->maxFrameDistance) : 0;
    syncThresholdRange();
}

void AnimationDissectionPage::goToNextStep()
{
    const auto& groups = session().groups;
    if (groups.empty())
        return;
    for (const auto& g : groups)
        if (!g->graph || g->graph->nodeCount() == 0)
            return;
    mainWindow.goToNextStep(3);
}

std::shared_ptr<const DistanceMap> AnimationDissectionPage::measuredMap(const Group* g, DistanceTerm term) const
{
    const auto& maps = term == DistanceTerm::PositionOnly ? positionMaps_ : maps_;
    const auto it = maps.find(g);
    return it != maps.end() ? it->second : nullptr;
}

void AnimationDissectionPage::showDistanceMap()
{
    Group* g = currentGroup();
    if (!g || job_)
        return;
    const DistanceTerm term = mapWindow_->term();
    auto present = [this, g, term] {
        mapWindow_->showGroup(groupNumber_, measuredMap(g, term));
        updateDistanceMapStyle();
        mapWindow_->show();
        mapWindow_->raise();
    };
    if (measuredMap(g, term) || !g->posesBuilt) {
        present();
        return;
    }
    // The worker reads the group's poses; nothing on the UI thread writes them while the
    // modal dialog is up.
    auto map = std::make_shared<DistanceMap>();
    auto ok = std::make_shared<bool>(false);
    const std::vector<Skeleton>* poses = &g->normalisedPoses;
    const int frames = g->frameCount;
    const QString title = term == DistanceTerm::PositionOnly ? tr("Measuring the position term map")
                                                             : tr("Measuring the distance map");
    auto work = [map, ok, poses, frames, term, title](BackgroundJob::Progress& progress) {
        progress.setStep(title);
        *ok = computeDistanceMap(*poses, frames, kDefaultDistanceMapSize, progress.longRun(0.0, 1.0), *map, term);
    };
    auto done = [this, g, map, ok, present, term](bool) {
        if (*ok)
            (term == DistanceTerm::PositionOnly ? positionMaps_ : maps_)[g] = map;
        finishJob(false);
        if (*ok)
            present();
    };
    startJob(new BackgroundJob(this, title, std::move(work), std::move(done)));
}

void AnimationDissectionPage::updateDistanceMapStyle()
{
    const Group* g = currentGroup();
    if (!mapWindow_ || !g || mapWindow_->groupNumber() != groupNumber_)
        return;
    mapWindow_->canvas()->setStyle(g->maxFrameDistance, threshold_, g->lastBuild.transitions);
}

QString AnimationDissectionPage::frameText() const
{
    return duolo::frameText(session().currentFrame, session().frameCount);
}

QSlider* AnimationDissectionPage::frameSlider() const { return frames_->slider(); }

void AnimationDissectionPage::syncFrameControls()
{
    const MotionCaptureSession& s = session();
    // A tick every 2 frames, thinned on long takes so that the ticks stay a few pixels apart.
    const int last = std::max(0, s.frameCount - 1);
    const int tickInterval = 2 * std::max(1, (last + 1) / 400);
    frames_->show(s.frameCount, tickInterval, s.currentFrame, frameText());
}

void AnimationDissectionPage::updateValueBoxes()
{
    groupBox_->setNumber(groupNumber_, 0);
    gapsBox_->setNumber(gaps_, 0);
    thresholdBox_->setNumber(threshold_, 0);
}

} // namespace duolo
