#include "ui/GraphPlaybackPage.h"

#include "motiongraph/Graph2D.h"
#include "playback/Placement.h"
#include "render/ClipStripWidget.h"
#include "render/GraphCanvasWidget.h"
#include "render/GlView.h"
#include "render/GraphDrawing.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"
#include "ui/FrameControls.h"
#include "ui/MainDialog.h"
#include "ui/SavePicture.h"
#include "ui/TapSoundPlayer.h"
#include "ui/UpDownControl.h"
#include "ui/UserDialogs.h"
#include "ui/VideoEncoder.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QSignalBlocker>
#include <QSlider>
#include <QStackedLayout>

#include <algorithm>

namespace duolo {

namespace {


QSlider* makeSlider(QWidget* parent, const QString& name, int maximum, int tick)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(name);
    slider->setRange(0, maximum);
    slider->setTickInterval(tick);
    slider->setTickPosition(QSlider::TicksBelow);
    return slider;
}

ValueBox* makeValueBox(QWidget* parent)
{
    auto* box = new ValueBox(parent);
    box->setMinimumWidth(70);
    return box;
}

} // namespace

GraphPlaybackPage::GraphPlaybackPage(MainDialog& mainWindow)
    : PipelinePage(mainWindow), tapSound_(&mainWindow.tapSound())
{
    auto* frame = new QGroupBox(tr("Duolo Motion Graph Playback"), this);
    auto* columns = new QHBoxLayout(frame);
    columns->setContentsMargins(12, 20, 12, 12);
    columns->setSpacing(16);
    columns->addWidget(buildGraphColumn(frame), 1);
    columns->addWidget(buildViewColumn(frame), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);

    setViewArea(viewArea_, SceneLighting::Lit, spinSlider_);
    // The picture follows the groups' playback state, which advance() watches.
    setRedrawOnDemand(true);
    setFrameFromSelection();
    refreshDisplays();
    refreshRecordingText();
}

GraphPlaybackPage::~GraphPlaybackPage() = default;

QWidget* GraphPlaybackPage::buildGraphColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    panel_ = new GraphCanvasWidget(column);
    panel_->setObjectName(QStringLiteral("graphPanel"));
    panel_->setMinimumSize(240, 180);
    panel_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // A click gives it the keys (Home fits); the wheel zooms and a drag pans its own view.
    panel_->setFocusPolicy(Qt::ClickFocus);
    panel_->setToolTip(tr("The graphs, the current nodes in red: the wheel zooms, a drag pans, Home shows the "
                          "whole graph"));
    panel_->installEventFilter(this);
    panel_->setDrawFunction([this](QPainter& painter) { drawPanel(painter); });
    offerSavePicture(panel_, mainWindow, [this] { return panel_->renderImage(); });
    follow_ = new QCheckBox(tr("Follow"), column);
    follow_->setObjectName(QStringLiteral("follow"));
    follow_->setChecked(true);
    follow_->setToolTip(tr("Keep every playing group's current node in the panel's view"));
    connect(follow_, &QCheckBox::toggled, this, [this] { panel_->update(); });
    clipBands_ = new ClipStripWidget(column);
    clipBands_->setObjectName(QStringLiteral("clipBands"));
    clipBands_->setToolTip(tr("The selected group's clips along the take, and each playing group's current "
                              "frame as a line in its colour"));
    clipStrip_ = new QLabel(column);
    clipStrip_->setObjectName(QStringLiteral("clipStrip"));
    clipStrip_->setTextFormat(Qt::PlainText);
    clipStrip_->setToolTip(tr("Each group's current clip, and the candidates each constraint "
                              "has turned down since \"Play\""));
    clipStrip_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    const FrameButtons frameButtons = makeFrameButtons(
        this, column,
        {tr("Play every group along its motion graph; pressing again pauses"), {},
         tr("Every group one frame back, unless a group shows the first frame of its clip"),
         tr("Every group one frame on, transitions included")});
    play_ = frameButtons.play;
    pause_ = frameButtons.pause;
    back_ = frameButtons.back;
    forward_ = frameButtons.forward;
    toOrigin_ = new QPushButton(tr("Move To Origin"), column);
    toOrigin_->setToolTip(tr("Bring every group back to the origin, keeping the way it faces"));
    connect(toOrigin_, &QPushButton::clicked, this, &GraphPlaybackPage::moveToOrigin);
    drawPath_ = new QPushButton(tr("Draw Path"), column);
    drawPath_->setObjectName(QStringLiteral("drawPath"));
    drawPath_->setCheckable(true);
    drawPath_->setToolTip(tr("Click points on the floor in the 3D view, then press again: the selected group "
                             "(a child through its parent) walks along the path while the others play on. "
                             "With \"Turn Travel\" the turns it takes at transitions turn its walk too"));
    connect(drawPath_, &QPushButton::toggled, this, &GraphPlaybackPage::setDrawingPath);
    clearPath_ = new QPushButton(tr("Clear Path"), column);
    clearPath_->setObjectName(QStringLiteral("clearPath"));
    clearPath_->setToolTip(tr("Forget the path: every group chooses its clips at random again"));
    connect(clearPath_, &QPushButton::clicked, this, &GraphPlaybackPage::clearPath);
    turnTravel_ = new QCheckBox(tr("Turn Travel"), column);
    turnTravel_->setObjectName(QStringLiteral("turnTravel"));
    turnTravel_->setToolTip(tr("Turn each group's path with its body at transitions, so that it walks the way it "
                               "faces and a drawn path can turn it; off, every group travels in the directions "
                               "of its take"));
    topView_ = new QCheckBox(tr("Top View"), column);
    topView_->setObjectName(QStringLiteral("topView"));
    topView_->setToolTip(tr("Look straight down on the floor (handy for drawing a path)"));
    connect(topView_, &QCheckBox::toggled, this, [this](bool above) {
        if (view())
            view()->setViewFromAbove(above);
        requestRedraw();
    });

    groupSpinner_ = new UpDownControl(column);
    groupSpinner_->setToolTip(tr("The group shown and followed by the frame slider"));
    groupBox_ = makeValueBox(column);
    connect(groupSpinner_, &UpDownControl::stepped, this, &GraphPlaybackPage::stepGroupNumber);
    showAll_ = new QCheckBox(tr("Show All Groups"), column);
    showAll_->setToolTip(tr("Draw every group and the balance of the ensemble"));

    MotionCaptureSession& s = session();
    rotationCheck_ = new QCheckBox(tr("Rotation Constraint"), column);
    rotationCheck_->setChecked(s.rotationConstraintOn);
    rotationCheck_->setToolTip(tr("Turn down transitions that would set the groups' headings "
                                  "further apart than the limit (degrees)"));
    rotationSlider_ = makeSlider(column, QStringLiteral("rotationSlider"), s.rotationLimitMax, 10);
    rotationSlider_->setValue(s.rotationLimit);
    rotationBox_ = makeValueBox(column);
    balanceCheck_ = new QCheckBox(tr("Balance Constraint"), column);
    balanceCheck_->setChecked(s.balanceConstraintOn);
    balanceCheck_->setToolTip(tr("Turn down transitions that would carry the ensemble's centre of "
                                 "mass too far from its floor contacts"));
    balanceSlider_ = makeSlider(column, QStringLiteral("balanceSlider"), s.balanceToleranceMax, 1);
    balanceSlider_->setValue(static_cast<int>(s.balanceTolerance));
    balanceBox_ = makeValueBox(column);
    // Each click inverts the session's flag; the box's own state is not read back.
    connect(rotationCheck_, &QCheckBox::clicked, this, [this] {
        session().rotationConstraintOn = !session().rotationConstraintOn;
    });
    connect(balanceCheck_, &QCheckBox::clicked, this, [this] {
        session().balanceConstraintOn = !session().balanceConstraintOn;
    });
    connect(rotationSlider_, &QSlider::valueChanged, this, [this](int value) {
        session().rotationLimit = value;
        refreshDisplays();
    });
    connect(balanceSlider_, &QSlider::valueChanged, this, [this](int value) {
        session().balanceTolerance = value;
        refreshDisplays();
    });

    record_ = new QPushButton(tr("Record"), column);
    record_->setCheckable(true);
    record_->setToolTip(tr("Keep every played frame of every group, for \"Export\""));
    export_ = new QPushButton(tr("Export"), column);
    export_->setToolTip(tr("Write the recorded frames as a TRC or C3D marker file"));
    exportVideo_ = new QPushButton(tr("Export Video"), column);
    exportVideo_->setObjectName(QStringLiteral("exportVideo"));
    exportVideo_->setToolTip(GlView::isOpenGlAvailable()
                                 ? tr("Play on and render the next seconds of playback, as the 3D view shows "
                                      "them, to an MP4 video (25 pictures per second)")
                                 : tr("Videos are rendered by the 3D view, which needs OpenGL. Without a display, "
                                      "\"duolo-mg play ... --out OUT.c3d\" writes the played markers instead."));
    connect(exportVideo_, &QPushButton::clicked, this, [this] {
        int seconds = 10;
        const QString path = this->mainWindow.dialogs().chooseVideoToSave(this, seconds);
        if (!path.isEmpty())
            exportVideo(path, seconds);
    });
    recordingLabel_ = new QLabel(column);
    recordingLabel_->setObjectName(QStringLiteral("recordingLabel"));
    connect(record_, &QPushButton::clicked, this, &GraphPlaybackPage::toggleRecording);
    connect(export_, &QPushButton::clicked, this, [this] {
        const QString path = this->mainWindow.dialogs().chooseTrcToSave(this);
        if (!path.isEmpty())
            exportRecording(path);
    });

    blend_ = new QSpinBox(column);
    blend_->setObjectName(QStringLiteral("blendFrames"));
    blend_->setRange(0, kMaxBlendFrames);
    blend_->setSuffix(tr(" frames"));
    blend_->setSpecialValueText(tr("Off"));
    blend_->setToolTip(tr("Smooth the jump at each transition over this many frames in what is drawn, recorded "
                          "and exported (the walk through the graphs stays the same); 0 = off"));
    connect(blend_, &QSpinBox::valueChanged, this, [this](int frames) {
        drawBlender_.setFrames(frames);
        recordBlender_.setFrames(frames);
    });

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {play_, pause_, back_, forward_, toOrigin_, drawPath_, clearPath_})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->addWidget(new QLabel(tr("Group Number"), column), 0, 0);
    auto* groupRow = new QHBoxLayout;
    groupRow->addWidget(groupSpinner_);
    groupRow->addWidget(groupBox_);
    groupRow->addSpacing(16);
    groupRow->addWidget(showAll_);
    groupRow->addSpacing(16);
    groupRow->addWidget(follow_);
    groupRow->addStretch(1);
    grid->addLayout(groupRow, 0, 1, 1, 2);
    grid->addWidget(rotationCheck_, 1, 0);
    grid->addWidget(rotationSlider_, 1, 1);
    grid->addWidget(rotationBox_, 1, 2);
    grid->addWidget(balanceCheck_, 2, 0);
    grid->addWidget(balanceSlider_, 2, 1);
    grid->addWidget(balanceBox_, 2, 2);
    grid->addWidget(new QLabel(tr("Blend"), column), 3, 0);
    auto* blendRow = new QHBoxLayout;
    blendRow->addWidget(blend_);
    blendRow->addSpacing(16);
    blendRow->addWidget(turnTravel_);
    blendRow->addSpacing(16);
    blendRow->addWidget(topView_);
    blendRow->addStretch(1);
    grid->addLayout(blendRow, 3, 1, 1, 2);
    auto* recordRow = new QHBoxLayout;
    recordRow->addWidget(record_);
    recordRow->addWidget(export_);
    recordRow->addWidget(exportVideo_);
    recordRow->addWidget(recordingLabel_, 1);
    auto* save = new QPushButton(tr("Save Progress"), column);
    save->setObjectName(QStringLiteral("saveProgress"));
    save->setToolTip(tr("Save the project, with every group's motion graph in the graph file beside it"));
    connect(save, &QPushButton::clicked, this, [this] { this->mainWindow.saveProgress(); });
    recordRow->addWidget(save);
    grid->addLayout(recordRow, 4, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel_, 1);
    layout->addWidget(clipBands_);
    layout->addWidget(clipStrip_);
    layout->addLayout(buttons);
    layout->addLayout(grid);
    return column;
}

QWidget* GraphPlaybackPage::buildViewColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    // The view, or in its place a note when the session has no group to play.
    auto* viewPlace = new QWidget(column);
    auto* stack = new QStackedLayout(viewPlace);
    viewArea_ = new QFrame(viewPlace);
    viewArea_->setObjectName(QStringLiteral("viewArea"));
    viewArea_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    viewArea_->setMinimumSize(320, 240);
    noGroupNote_ = new QLabel(tr("This session has no groups, so there is nothing to play. Build a "
                                 "group on the skeleton builder page and its motion graph on the "
                                 "dissection page."), viewPlace);
    noGroupNote_->setObjectName(QStringLiteral("noGroupNote"));
    noGroupNote_->setAlignment(Qt::AlignCenter);
    noGroupNote_->setWordWrap(true);
    noGroupNote_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    stack->addWidget(viewArea_);
    stack->addWidget(noGroupNote_);
    viewPlace->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    noGraphLine_ = new QLabel(column);
    noGraphLine_->setObjectName(QStringLiteral("noGraphLine"));
    noGraphLine_->setWordWrap(true);
    noGraphLine_->setStyleSheet(QStringLiteral("color: #a03000"));

    spinSlider_ = new SpinSlider(column);
    spinSlider_->setObjectName(QStringLiteral("spinSlider"));
    frames_ = new FrameSlider(column,
                              tr("The selected group's frame. Each group's walk through its motion graph "
                                 "decides its frame, so the slider only shows it and cannot be dragged."),
                              110, [this](int value) { seekFrame(value); });
    // A slider that springs back to the walk's frame on every pass cannot be dragged: it says so.
    frames_->slider()->setEnabled(false);

    auto* frameRow = new QHBoxLayout;
    frameRow->addWidget(frames_->slider(), 1);
    frameRow->addWidget(frames_->label());
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(viewPlace, 1);
    layout->addWidget(noGraphLine_);
    layout->addWidget(spinSlider_);
    layout->addLayout(frameRow);
    return column;
}

Group* GraphPlaybackPage::selectedGroup() const
{
    const MotionCaptureSession& s = session();
    if (selectedGroupNumber_ < 0 || selectedGroupNumber_ >= s.groupCount())
        return nullptr;
    return s.groups[static_cast<size_t>(selectedGroupNumber_)].get();
}

std::vector<Group*> GraphPlaybackPage::playableGroups() const
{
    std::vector<Group*> groups;
    for (const auto& g : session().groups)
        if (isPlayable(*g))
            groups.push_back(g.get());
    return groups;
}

void GraphPlaybackPage::setFrameFromSelection()
{
    // The clip picked in the editor: its single selected edge's source, else its single
    // selected node; frame 0 otherwise.
    int32_t frame = 0;
    if (const Group* g = selectedGroup(); g && g->graph) {
        const Graph2D& graph = *g->graph;
        if (graph.howManySelectedEdges() == 1 && graph.selectedEdges.front()->from)
            frame = graph.selectedEdges.front()->from->startFrame;
        else if (graph.howManySelectedNodes() == 1)
            frame = graph.selectedNodes.front()->startFrame;
    }
    setFrameInside(session(), frame);
}

void GraphPlaybackPage::activate()
{
    PipelinePage::activate();
    if (view()) {
        view()->installEventFilter(this);  // clicks on the floor while drawing a path
        view()->setViewFromAbove(topView_->isChecked());
    }
    fitPanel_ = true;  // the graphs may have changed in the editor meanwhile
    shownState_.clear();
    refreshDisplays();
}

void GraphPlaybackPage::setPlaying(bool playing)
{
    playing_ = playing;
    if (tapSound_)
        tapSound_->setPlaybackRunning(playing);
}

void GraphPlaybackPage::play()
{
    setPlaying(!playing_);
    if (playing_)
        player_.resetCounters();  // the strip counts rejections since "Play"
}

void GraphPlaybackPage::pause()
{
    setPlaying(false);
}

void GraphPlaybackPage::frameForward()
{
    setPlaying(false);
    player_.frameForward(playbackEnsemble(session()));
    clearBlends();
    refreshDisplays();
}

void GraphPlaybackPage::frameBack()
{
    setPlaying(false);
    player_.frameBack(playbackEnsemble(session()));
    clearBlends();
    refreshDisplays();
}

void GraphPlaybackPage::moveToOrigin()
{
    EnsemblePlayer::moveToOrigin(playbackEnsemble(session()));
    clearBlends();
}

int GraphPlaybackPage::pathGroupNumber() const
{
    // A child is placed on its parent, so the parent walks the path for both.
    const Group* g = selectedGroup();
    if (const Group* parent = g ? placementParent(*g) : nullptr)
        g = parent;
    return g ? g->groupNumber : -1;
}

bool GraphPlaybackPage::addPathPointAtPixel(double x, double y)
{
    if (!view())
        return false;
    const std::optional<Vec3> p = floorPointUnderPixel(x, y, view()->width(), view()->height(), view()->viewYaw(),
                                                       view()->isViewFromAbove());
    if (!p)
        return false;
    pathPoints_.push_back({p->x, p->z});
    requestRedraw();
    return true;
}

void GraphPlaybackPage::setDrawingPath(bool drawing)
{
    if (drawing) {
        // A new path: the old one stops steering while the points are placed.
        forgetPath();
        return;
    }
    const int number = pathGroupNumber();
    if (pathPoints_.size() < 2 || number < 0 || !isPlayable(*session().groups[static_cast<size_t>(number)]))
        return;
    follower_ = std::make_unique<PathFollower>(*session().groups[static_cast<size_t>(number)], FloorPath(pathPoints_));
    player_.setSteering(number, follower_.get());
}

void GraphPlaybackPage::forgetPath()
{
    player_.setSteering(-1, nullptr);
    follower_.reset();
    pathPoints_.clear();
    requestRedraw();
}

void GraphPlaybackPage::clearPath()
{
    forgetPath();
    if (drawPath_->isChecked()) {
        const QSignalBlocker block(drawPath_);
        drawPath_->setChecked(false);
    }
    requestRedraw();
}

void GraphPlaybackPage::clearBlends()
{
    // A jump the user asks for is shown as it is, not smoothed.
    drawBlender_.clear();
    recordBlender_.clear();
}

void GraphPlaybackPage::stepGroupNumber(int delta)
{
    const int last = std::max(0, session().groupCount() - 1);
    selectedGroupNumber_ = std::clamp(selectedGroupNumber_ + delta, 0, last);
    fitPanel_ = true;
    refreshDisplays();
    panel_->update();
}

void GraphPlaybackPage::seekFrame(int frame)
{
    setPlaying(false);
    setFrameInside(session(), frame);
    clearBlends();
}

QString GraphPlaybackPage::frameText() const
{
    const Group* g = selectedGroup();
    const int current = g && isPlayable(*g) ? g->currentNode->currentFrame : 0;
    return duolo::frameText(current, session().frameCount);
}

QString GraphPlaybackPage::noGraphText() const
{
    QStringList missing;
    for (const auto& g : session().groups)
        if (!isPlayable(*g))
            missing << QString::number(g->groupNumber);
    if (missing.isEmpty())
        return {};
    return missing.size() == 1
               ? tr("Group %1 has no motion graph and is not played.").arg(missing.front())
               : tr("Groups %1 have no motion graph and are not played.").arg(missing.join(QStringLiteral(", ")));
}

QString GraphPlaybackPage::clipStripText() const
{
    QStringList lines;
    for (const auto& g : session().groups) {
        if (!isPlayable(*g))
            continue;
        const Graph2DNode& n = *g->currentNode;
        lines << tr("Group %1: node %2, frames %3-%4").arg(g->groupNumber).arg(n.id).arg(n.startFrame).arg(n.endFrame);
    }
    const PlaybackCounters& c = player_.counters();
    lines << tr("Rejected since \"Play\": %1 by rotation, %2 by balance (%3 candidates tested)")
                 .arg(c.rejectedByRotation).arg(c.rejectedByBalance).arg(c.candidatesTested);
    return lines.join(QLatin1Char('\n'));
}

QSlider* GraphPlaybackPage::frameSlider() const { return frames_->slider(); }

QImage GraphPlaybackPage::panelImage() const
{
    return panel_->renderImage();
}

void GraphPlaybackPage::drawPanel(QPainter& painter)
{
    graphView_.width = panel_->canvasWidth();
    graphView_.height = panel_->canvasHeight();
    graphView_.showAllGroups = showAll_->isChecked();
    const Group* selected = selectedGroup();
    if (fitPanel_ && selected && selected->graph && panel_->isVisible()) {
        graphView_.fitToGraph(*selected->graph);
        fitPanel_ = false;
    }
    if (follow_->isChecked()) {
        std::vector<GraphPoint> current;
        for (const auto& g : session().groups)
            if (isPlayable(*g) && (graphView_.showAllGroups || g.get() == selected))
                current.push_back({g->currentNode->x, g->currentNode->y});
        graphView_.keepInView(current);
    }
    panel_->layers().draw(painter, graphView_, session(), selectedGroupNumber_);
}

void GraphPlaybackPage::refreshClipBands()
{
    std::vector<ClipStripWidget::Band> bands;
    if (const Group* g = selectedGroup(); g && g->graph)
        for (const auto* list : {&g->graph->nodes, &g->graph->selectedNodes})
            for (const Graph2DNode* n : *list)
                bands.push_back({n->startFrame, n->endFrame, false});
    std::vector<ClipStripWidget::Marker> markers;
    for (const auto& g : session().groups)
        if (isPlayable(*g))
            markers.push_back({g->currentNode->currentFrame, g->colour});
    clipBands_->setContent(session().frameCount, std::move(bands), std::move(markers));
}

void GraphPlaybackPage::fitPanel()
{
    fitPanel_ = true;
    panel_->update();
}

bool GraphPlaybackPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != nullptr && watched == view() && drawPath_->isChecked() &&
        event->type() == QEvent::MouseButtonPress) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton)
            addPathPointAtPixel(e->position().x(), e->position().y());
        return true;
    }
    if (watched != panel_)
        return PipelinePage::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Wheel: {
        // No message here: this panel is not the editor.
        const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
        if (delta.y() != 0) {
            graphView_.wheelZoom(delta.y());
            panel_->update();
        }
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        panning_ = e->button() == Qt::LeftButton;
        dragFrom_ = e->position().toPoint();
        return false;
    }
    case QEvent::MouseMove: {
        if (!panning_)
            return false;
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        graphView_.panByPixels(at.x() - dragFrom_.x(), at.y() - dragFrom_.y());
        dragFrom_ = at;
        follow_->setChecked(false);  // the user steers the view now
        panel_->update();
        return true;
    }
    case QEvent::MouseButtonRelease:
        panning_ = false;
        return false;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Home) {
            fitPanel();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void GraphPlaybackPage::advance()
{
    // While a video renders, the export steps the ensemble itself, one pass per picture.
    if (!exportingVideo_)
        runPass();
}

void GraphPlaybackPage::runPass()
{
    const Ensemble ensemble = playbackEnsemble(session());
    selectedGroupNumber_ = std::clamp(selectedGroupNumber_, 0, std::max(0, ensemble.groupCount() - 1));
    const bool showAll = showAll_->isChecked();
    const bool recording = recording_.isRecording();
    if (playing_ && recording)
        recordPass();
    // Groups made or restored since (a new graph, an undo) take the setting too.
    for (const auto& g : session().groups)
        setTravelTurns(*g, turnTravel_->isChecked());
    if (follower_) {
        const int number = pathGroupNumber();
        if (number >= 0 && number < ensemble.groupCount() && isPlayable(ensemble.group(number))) {
            const Group& g = ensemble.group(number);
            const Vec3 root = placePoint(g, currentPose(g), rootOf(currentPose(g)));
            follower_->moveRootTo(root.x, root.z);
        }
    }
    player_.runPass(ensemble, PassOptions{playing_, showAll, selectedGroupNumber_,
                                          drawBlender_.frames() > 0 ? &drawBlender_ : nullptr});
    gatherScene(showAll);
    refreshDisplays();
    if (recording)
        refreshRecordingText();
    // A paused ensemble looks the same pass after pass: redraw only what changed.
    std::vector<double> key = stateKey(showAll);
    if (playing_ || key != shownState_) {
        shownState_ = std::move(key);
        panel_->update();
        requestRedraw();
    }
}

std::vector<double> GraphPlaybackPage::stateKey(bool showAll) const
{
    const MotionCaptureSession& s = session();
    std::vector<double> key{showAll ? 1.0 : 0.0, static_cast<double>(selectedGroupNumber_), s.balanceTolerance,
                            static_cast<double>(s.groupCount()), static_cast<double>(pathPoints_.size())};
    for (const auto& g : s.groups) {
        const Graph2DNode* n = g->currentNode;
        key.insert(key.end(), {n ? static_cast<double>(n->id) : -1.0, n ? static_cast<double>(n->currentFrame) : -1.0,
                               g->positionOffset.x, g->positionOffset.z, g->rotationOffset.y, g->travelOffset.x,
                               g->travelOffset.z, g->travelTurns ? 1.0 : 0.0,
                               static_cast<double>(g->worldPoses.size())});
    }
    return key;
}

void GraphPlaybackPage::gatherScene(bool showAll)
{
    scene_.spheres.clear();
    scene_.path.clear();
    for (const FloorPath::Point& p : pathPoints_)
        scene_.path.push_back(Vec3{p.x, 0.0, p.z});
    scene_.balance.reset();
    const MotionCaptureSession& s = session();
    bool anyDrawn = false;
    for (int32_t number = 0; number < std::min(player_.viewCount(), s.groupCount()); ++number) {
        const GroupView& v = player_.view(number);
        if (!v.drawn || !v.pose)
            continue;
        anyDrawn = true;
        for (int32_t t = 0; playing_ && tapSound_ && t < v.taps; ++t)
            tapSound_->play();
        const Rgb colour = rgbFromColourRef(s.groups[static_cast<size_t>(number)]->colour);
        const std::vector<Marker>& recorded = v.pose->joints;
        for (size_t k = 0; k < v.joints.size() && k < recorded.size(); ++k)
            scene_.spheres.push_back({v.joints[k], colour, recorded[k].position.y});
        scene_.spheres.push_back({v.centre, kCentreColour, v.pose->centre.position.y});
    }
    if (showAll && anyDrawn) {
        const BalanceReading& b = player_.balance();
        BalanceOverlayShape shape;
        shape.centreOfMass = b.centreOfMass;
        if (b.hasSupport)
            shape.supportCentre = b.supportCentre;
        shape.offset = b.offset;
        shape.allowedOffset = b.allowedOffset;
        scene_.balance = shape;
    }
}

void GraphPlaybackPage::recordPass()
{
    // Every playing group at the frame this pass shows, in the recording's column order.
    std::vector<Vec3> points;
    points.reserve(recording_.markerCount());
    const std::vector<Group*> playing = playableGroups();
    const std::vector<const Group*> groups(playing.begin(), playing.end());
    placedMarkersOfPass(groups, points, recordBlender_.frames() > 0 ? &recordBlender_ : nullptr);
    // Columns are fixed when recording starts: a group that gains or loses its graph or its
    // members meanwhile ends the recording (what was kept stays for export).
    if (!recording_.addFrame(points) && !recording_.reachedLimit()) {
        recording_.stop();
        recordingNote_ = tr("; stopped: the playing groups changed");
    }
}

void GraphPlaybackPage::refreshDisplays()
{
    const MotionCaptureSession& s = session();
    const int groups = s.groupCount();
    selectedGroupNumber_ = std::clamp(selectedGroupNumber_, 0, std::max(0, groups - 1));
    groupBox_->setNumber(selectedGroupNumber_, 0);
    rotationBox_->setNumber(s.rotationLimit, 0);
    balanceBox_->setNumber(s.balanceTolerance, 0);

    const Group* g = selectedGroup();
    frames_->show(s.frameCount, tickPerFrameInterval(s.frameCount),
                  g && isPlayable(*g) ? std::optional<int>(g->currentNode->currentFrame) : std::nullopt, frameText());

    const QString missing = noGraphText();
    noGraphLine_->setText(missing);
    noGraphLine_->setVisible(!missing.isEmpty());
    clipStrip_->setText(clipStripText());
    refreshClipBands();
    // No group at all: the note stands in the view's place.
    static_cast<QStackedLayout*>(noGroupNote_->parentWidget()->layout())
        ->setCurrentWidget(groups == 0 ? static_cast<QWidget*>(noGroupNote_) : viewArea_);
    for (QWidget* w : std::initializer_list<QWidget*>{play_, pause_, back_, forward_, toOrigin_, record_})
        w->setEnabled(groups > 0);
    exportVideo_->setEnabled(groups > 0 && GlView::isOpenGlAvailable());
}

void GraphPlaybackPage::toggleRecording()
{
    if (recording_.isRecording()) {
        recording_.stop();
    } else {
        std::vector<const Group*> groups;
        for (Group* g : playableGroups())
            groups.push_back(g);
        recording_.start(recordingMarkerNames(groups));
        recordingNote_.clear();
    }
    refreshRecordingText();
}

void GraphPlaybackPage::refreshRecordingText()
{
    record_->setChecked(recording_.isRecording());
    export_->setEnabled(recording_.frameCount() > 0);
    QString text;
    if (recording_.frameCount() > 0 || recording_.isRecording()) {
        const double megabytes = static_cast<double>(recording_.frameCount()) * recording_.bytesPerFrame() / 1e6;
        text = tr("%1 frames recorded (%2 MB)").arg(recording_.frameCount()).arg(megabytes, 0, 'f', 1);
        if (recording_.reachedLimit())
            text += tr("; the recording is full");
        text += recordingNote_;
    }
    recordingLabel_->setText(text);
}

bool GraphPlaybackPage::exportRecording(const QString& path)
{
    // The chosen file's extension picks the format: C3D for *.c3d, TRC for anything else.
    std::string error;
    const std::string file = QFile::encodeName(path).toStdString();
    if (!writeRecordingFile(file, recording_, error)) {
        mainWindow.dialogs().showError(this, tr("Export"), QString::fromLocal8Bit(error.c_str()));
        return false;
    }
    return true;
}

bool GraphPlaybackPage::exportVideo(const QString& path, int seconds, std::vector<QImage>* shown)
{
    GlView* v = view();
    if (!v) {
        mainWindow.dialogs().showError(
            this, tr("Export Video"),
            tr("%1: the video is rendered by the 3D view, which is not available here (it needs OpenGL). "
               "Without a display, \"duolo-mg play ... --out OUT.c3d\" writes the played markers instead.")
                .arg(path));
        return false;
    }
    const int frames = std::max(1, seconds) * static_cast<int>(PlaybackRecording::kPassesPerSecond);
    QProgressDialog progress(tr("Rendering the video..."), tr("Cancel"), 0, frames, this);
    progress.setWindowTitle(tr("Export Video"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    const bool wasPlaying = playing_;
    playing_ = true;
    exportingVideo_ = true;
    VideoEncoder encoder;
    bool written = true;
    bool cancelled = false;
    for (int f = 0; f < frames && written && !cancelled; ++f) {
        // As one tick of the render loop: turn, step, then the picture after the step.
        v->turn();
        runPass();
        const QImage picture = v->grabFramebuffer();
        written = (f > 0 || encoder.open(path, picture.width(), picture.height(),
                                         static_cast<int>(PlaybackRecording::kPassesPerSecond))) &&
                  encoder.addFrame(picture);
        if (shown)
            shown->push_back(picture);
        progress.setValue(f + 1);
        cancelled = progress.wasCanceled();
    }
    exportingVideo_ = false;
    playing_ = wasPlaying;
    written = written && !cancelled && encoder.finish();
    if (!written || cancelled) {
        encoder.abandon();
        QFile::remove(path);
    }
    if (!written && !cancelled)
        mainWindow.dialogs().showError(this, tr("Export Video"), encoder.error());
    return written && !cancelled;
}

void GraphPlaybackPage::drawScene()
{
    drawPlaybackScene(scene_, markerRadius_, markerPatches_);
}

} // namespace duolo
