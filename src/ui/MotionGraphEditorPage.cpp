#include "ui/MotionGraphEditorPage.h"

#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphLayout.h"
#include "playback/Placement.h"
#include "render/ClipStripWidget.h"
#include "render/GraphCanvasWidget.h"
#include "render/GraphDrawing.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/FrameControls.h"
#include "ui/MainDialog.h"
#include "ui/SavePicture.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace duolo {

namespace {

ValueBoxStyle displayStyle(int pointSize, bool bold)
{
    ValueBoxStyle style;
    style.pointSize = pointSize;
    style.bold = bold;
    return style;
}

} // namespace

MotionGraphEditorPage::MotionGraphEditorPage(MainDialog& mainWindow) : PipelinePage(mainWindow)
{
    setObjectName(QStringLiteral("motionGraphEditorPage"));
    auto* frame = new QGroupBox(tr("Motion Graph Editor"), this);
    auto* columns = new QHBoxLayout(frame);
    columns->setContentsMargins(10, 18, 10, 10);
    columns->setSpacing(12);
    columns->addWidget(buildCanvasColumn(frame), 1);
    auto* right = new QVBoxLayout;
    right->addWidget(buildPreviewColumn(frame), 1);
    right->addWidget(buildSettingsColumn(frame), 0);
    columns->addLayout(right, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(frame);

    setViewArea(previewArea_, SceneLighting::Lit, spinSlider_);
    // The preview draws the frame of the edited group (or of all groups): the base sees the
    // frame, the turn and the display options; the group number, "Show All Groups" (this
    // page's own) and the preview chosen from the canvas's selection are reported below.
    setRedrawOnDemand(true);
    view_.width = canvas_->canvasWidth();
    view_.height = canvas_->canvasHeight();
    choosePreview();
    refreshCanvas();
}

QWidget* MotionGraphEditorPage::buildCanvasColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    canvas_ = new GraphCanvasWidget(column);
    canvas_->setObjectName(QStringLiteral("graphCanvas"));
    canvas_->setMinimumSize(320, 240);
    canvas_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    canvas_->setDrawFunction([this](QPainter& painter) {
        canvas_->layers().draw(painter, view_, session(), groupNumber_);
    });
    canvas_->installEventFilter(this);
    clipStrip_ = new ClipStripWidget(column);
    clipStrip_->setObjectName(QStringLiteral("clipStrip"));
    clipStrip_->setToolTip(tr("The take's frames left to right, each node's clip a band, the selected ones red: "
                              "a click selects the node holding that frame"));
    connect(clipStrip_, &ClipStripWidget::frameClicked, this, &MotionGraphEditorPage::selectClipAt);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(canvas_, 1);
    layout->addWidget(clipStrip_);
    return column;
}

QWidget* MotionGraphEditorPage::buildPreviewColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    previewArea_ = makeViewArea(column, QStringLiteral("previewArea"), {300, 220});
    spinSlider_ = new SpinSlider(column);
    spinSlider_->setObjectName(QStringLiteral("spinSlider"));
    frames_ = new FrameSlider(column, tr("Frame shown in the preview; dragging stops playback"), 90,
                              [this](int value) { seekFrame(value); });
    const FrameButtons b = makeFrameButtons(
        this, column,
        {tr("Play the selected node's clip, or the selected edge's transition, in a loop"),
         tr("Stop at the current frame"), tr("One frame back in the previewed clip"),
         tr("One frame on in the previewed clip")});
    for (QPushButton* button : b.all())
        button->setAutoDefault(false);
    play_ = b.play;

    auto* buttons = new QGridLayout;
    buttons->addWidget(b.play, 0, 0);
    buttons->addWidget(b.pause, 0, 1);
    buttons->addWidget(b.back, 1, 0);
    buttons->addWidget(b.forward, 1, 1);
    buttons->addWidget(frames_->label(), 1, 2);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(previewArea_, 1);
    layout->addWidget(spinSlider_);
    layout->addWidget(frames_->slider());
    layout->addLayout(buttons);
    return column;
}

QWidget* MotionGraphEditorPage::buildSettingsColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    groupSpinner_ = new UpDownControl(column);
    groupBox_ = new ValueBox(column);
    gridSpinner_ = new UpDownControl(column);
    gridBox_ = new ValueBox(column);
    zoomBox_ = new ValueBox(column);
    centreBox_ = new ValueBox(column, displayStyle(10, false));
    mouseBox_ = new ValueBox(column, displayStyle(10, false));
    groupBox_->setToolTip(tr("The group whose graph is edited"));
    gridBox_->setToolTip(tr("Graph units between grid lines"));
    zoomBox_->setToolTip(tr("Zoom: the mouse wheel or the + and - keys on the canvas; Home shows the whole graph"));
    centreBox_->setToolTip(tr("The graph point at the middle of the canvas (right double-click to move it)"));
    mouseBox_->setToolTip(tr("The graph point under the mouse"));
    connect(groupSpinner_, &UpDownControl::stepped, this, &MotionGraphEditorPage::stepGroup);
    connect(gridSpinner_, &UpDownControl::stepped, this, &MotionGraphEditorPage::stepGridSpacing);

    showAllGroups_ = new QCheckBox(tr("Show All Groups"), column);
    showAllGroups_->setToolTip(tr("Draw the graphs of all groups on the canvas and all groups in the preview"));
    connect(showAllGroups_, &QCheckBox::toggled, this, [this](bool on) {
        view_.showAllGroups = on;
        refreshCanvas();
        requestRedraw();
    });
    showGrid_ = new QCheckBox(tr("Show Grid"), column);
    showGrid_->setChecked(true);
    showGrid_->setToolTip(tr("Draw the grid and the axes"));
    connect(showGrid_, &QCheckBox::toggled, this, [this](bool on) {
        view_.showGrid = on;
        refreshCanvas();
    });

    auto* toOrigin = new QPushButton(tr("Move To Origin"), column);
    toOrigin->setToolTip(tr("Put every group back at the origin for playback"));
    connect(toOrigin, &QPushButton::clicked, this, &MotionGraphEditorPage::moveToOrigin);
    // The canvas's right button is the editor's own, so its picture has a button.
    savePicture_ = new QPushButton(tr("Save Picture"), column);
    savePicture_->setObjectName(QStringLiteral("savePicture"));
    savePicture_->setToolTip(tr("Save the graph canvas as a PNG picture"));
    connect(savePicture_, &QPushButton::clicked, this,
            [this] { savePicture(this, this->mainWindow.dialogs(), canvas_->renderImage()); });
    auto* save = new QPushButton(tr("Save Progress"), column);
    save->setObjectName(QStringLiteral("saveProgress"));
    save->setToolTip(tr("Save the project, with every group's motion graph in the graph file beside it"));
    connect(save, &QPushButton::clicked, this, [this] { this->mainWindow.saveProgress(); });
    delete_ = new QPushButton(tr("Delete"), column);
    delete_->setObjectName(QStringLiteral("deleteSelection"));
    delete_->setToolTip(tr("Remove the selected edges, and the selected nodes with their edges (Delete)"));
    connect(delete_, &QPushButton::clicked, this, &MotionGraphEditorPage::deleteSelection);
    // The view's keys work whichever control of the page has the focus (a text field keeps
    // its own keys: it takes them before any shortcut).
    for (int key : {Qt::Key_Plus, Qt::Key_Equal, Qt::Key_Minus, Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                    Qt::Key_Down, Qt::Key_Home}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, key] { keyPress(key); });
    }
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &MotionGraphEditorPage::deleteSelection);
    }
    nextStep_ = new QPushButton(tr("Go To Next Step"), column);
    nextStep_->setObjectName(QStringLiteral("goToNextStep"));
    nextStep_->setToolTip(tr("Go on to playing the motion graphs"));
    connect(nextStep_, &QPushButton::clicked, this, [this] { this->mainWindow.goToNextStep(4); });
    layOut_ = new QPushButton(tr("Lay Out"), column);
    layOut_->setObjectName(QStringLiteral("layOut"));
    layOut_->setToolTip(tr("Place every node of the graph anew: along the take's time line, or by the graph's "
                           "structure"));
    auto* layouts = new QMenu(layOut_);
    layouts->addAction(tr("Time Line"), this, [this] { layOut(Layout::Timeline); })
        ->setToolTip(tr("Clips left to right in the order of the take, in rows so that none overlap"));
    layouts->addAction(tr("Structure"), this, [this] { layOut(Layout::Structure); })
        ->setToolTip(tr("Force-directed: clips joined by edges near each other"));
    layouts->setToolTipsVisible(true);
    layOut_->setMenu(layouts);
    for (QPushButton* b : {toOrigin, save, nextStep_, delete_, layOut_, savePicture_})
        b->setAutoDefault(false);

    auto* grid = new QGridLayout(column);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(6);
    int row = 0;
    grid->addWidget(new QLabel(tr("Group Number"), column), row, 0);
    grid->addWidget(groupSpinner_, row, 1);
    grid->addWidget(groupBox_, row++, 2);
    grid->addWidget(showAllGroups_, row, 0);
    grid->addWidget(showGrid_, row++, 2);
    grid->addWidget(new QLabel(tr("Grid Spacing"), column), row, 0);
    grid->addWidget(gridSpinner_, row, 1);
    grid->addWidget(gridBox_, row++, 2);
    grid->addWidget(new QLabel(tr("Zoom"), column), row, 0);
    grid->addWidget(zoomBox_, row++, 2);
    grid->addWidget(new QLabel(tr("Screen Center"), column), row, 0);
    grid->addWidget(centreBox_, row++, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Mouse Position"), column), row, 0);
    grid->addWidget(mouseBox_, row++, 1, 1, 2);
    grid->addWidget(toOrigin, row, 0);
    grid->addWidget(save, row++, 2);
    grid->addWidget(delete_, row, 0);
    grid->addWidget(layOut_, row + 1, 0);
    grid->addWidget(nextStep_, row++, 2);
    grid->addWidget(savePicture_, row, 2);  // beside "Lay Out"
    grid->setColumnStretch(2, 1);
    return column;
}

// --- State --------------------------------------------------------------------------------

Group* MotionGraphEditorPage::currentGroup() const
{
    const MotionCaptureSession& s = session();
    if (groupNumber_ < 0 || groupNumber_ >= s.groupCount())
        return nullptr;
    return s.groups[static_cast<size_t>(groupNumber_)].get();
}

Graph2D* MotionGraphEditorPage::currentGraph() const
{
    Group* group = currentGroup();
    return group ? group->graph.get() : nullptr;
}

void MotionGraphEditorPage::activate()
{
    PipelinePage::activate();
    // Groups or graphs may have been rebuilt on an earlier page meanwhile: keep the group number
    // in range and drop a preview whose nodes have gone.
    const int groups = session().groupCount();
    groupNumber_ = groups > 0 ? std::clamp(groupNumber_, 0, groups - 1) : 0;
    takeStoredView();
    if (!previewNodesExist())
        choosePreview();
    syncFrameControls();
    refreshCanvas();
    requestRedraw();
}

bool MotionGraphEditorPage::previewNodesExist() const
{
    auto exists = [this](const Graph2DNode* node) {
        if (!node)
            return true;
        for (const auto& group : session().groups)
            if (group->graph) {
                const Graph2D& g = *group->graph;
                if (std::find(g.nodes.begin(), g.nodes.end(), node) != g.nodes.end()
                    || std::find(g.selectedNodes.begin(), g.selectedNodes.end(), node) != g.selectedNodes.end())
                    return true;
            }
        return false;
    };
    return exists(previewSource_) && exists(previewTarget_);
}

void MotionGraphEditorPage::takeStoredView()
{
    Group* group = currentGroup();
    if (!group || !group->graphView.stored)
        return;
    GraphViewRecord& stored = group->graphView;
    stored.stored = false;
    view_.zoom = stored.zoom;
    view_.gridSpacing = stored.gridSpacing;
    view_.showGrid = stored.showGrid;
    view_.setCentre(stored.centreX, stored.centreY);
    const QSignalBlocker block(showGrid_);
    showGrid_->setChecked(view_.showGrid);
}

void MotionGraphEditorPage::keepViewWithGraph()
{
    if (Group* group = currentGroup()) {
        GraphViewRecord& kept = group->graphView;
        if (kept.stored)
            return;  // not shown yet: the file's view stays until it is
        kept.zoom = view_.zoom;
        kept.centreX = view_.centreX;
        kept.centreY = view_.centreY;
        kept.gridSpacing = view_.gridSpacing;
        kept.showGrid = view_.showGrid;
    }
}

void MotionGraphEditorPage::deleteSelection()
{
    Group* group = currentGroup();
    Graph2D* graph = currentGraph();
    if (!graph || (graph->howManySelectedNodes() == 0 && graph->howManySelectedEdges() == 0))
        return;
    const int nodes = graph->howManySelectedNodes();
    const int edges = graph->howManySelectedEdges();
    auto selected = [graph](const Graph2DNode* n) {
        return std::find(graph->selectedNodes.begin(), graph->selectedNodes.end(), n) != graph->selectedNodes.end();
    };
    const bool currentGoes = selected(group->currentNode);
    const bool previousGoes = selected(group->previousNode);
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    previewSource_ = previewTarget_ = nullptr;
    graph->deleteSelected();
    // Playback goes on from a node that is still there.
    Graph2DNode* first = graph->nodes.empty() ? nullptr : graph->nodes.front();
    if (currentGoes)
        group->currentNode = first;
    if (previousGoes)
        group->previousNode = group->currentNode;
    QString what;
    if (nodes > 0)
        what = nodes == 1 ? tr("1 node") : tr("%1 nodes").arg(nodes);
    if (edges > 0)
        what += (what.isEmpty() ? QString() : tr(" and ")) + (edges == 1 ? tr("1 edge") : tr("%1 edges").arg(edges));
    mainWindow.endEdit(EditHistory::Scope::Graphs, tr("Delete %1").arg(what));
    choosePreview();
    refreshCanvas();
}

void MotionGraphEditorPage::layOut(Layout layout)
{
    Group* group = currentGroup();
    Graph2D* graph = currentGraph();
    if (!graph || graph->totalNodeCount() == 0)
        return;
    std::string error;
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    const bool done = layout == Layout::Timeline ? layOutTimeline(*graph, view_.worldExtent, error)
                                                 : layOutForce(*graph, view_.worldExtent, error);
    if (!done) {
        mainWindow.dialogs().showError(this, tr("Lay Out"), QString::fromStdString(error));
        return;
    }
    mainWindow.endEdit(EditHistory::Scope::Graphs,
                       (layout == Layout::Timeline ? tr("Lay Out Time Line (group %1)") : tr("Lay Out Structure (group %1)"))
                           .arg(group->groupNumber));
    view_.fitToGraph(*graph);
    refreshCanvas();
}

void MotionGraphEditorPage::selectClipAt(int32_t frame)
{
    Graph2D* graph = currentGraph();
    if (!graph)
        return;
    Graph2DNode* hit = nullptr;
    for (const auto* list : {&graph->nodes, &graph->selectedNodes})
        for (Graph2DNode* n : *list)
            if (!hit && n->startFrame <= frame && frame <= n->endFrame)
                hit = n;
    if (!hit)
        return;
    graph->deselectAll();
    graph->selectNode(hit);
    view_.setCentre(hit->x, hit->y);
    choosePreview();
    refreshCanvas();
}

void MotionGraphEditorPage::refreshCanvas()
{
    keepViewWithGraph();
    std::vector<ClipStripWidget::Band> bands;
    if (const Graph2D* graph = currentGraph())
        for (const auto* list : {&graph->nodes, &graph->selectedNodes})
            for (const Graph2DNode* n : *list)
                bands.push_back({n->startFrame, n->endFrame, list == &graph->selectedNodes});
    clipStrip_->setContent(session().frameCount, std::move(bands));
    groupBox_->setNumber(groupNumber_, 0);
    gridBox_->setNumber(view_.gridSpacing, 0);
    zoomBox_->setText(QString::number(view_.zoom) + QLatin1Char('X'));
    centreBox_->setText(QString::fromStdString(positionText(view_.centreX, view_.centreY)));
    const bool onCanvas = mouseSeen_ && view_.showsPosition(mouse_);
    if (onCanvas) {
        const GraphPoint p = view_.toGraph(mouse_);
        mouseBox_->setStyle(displayStyle(10, false));
        mouseBox_->setText(QString::fromStdString(positionText(p.x, p.y)));
    } else {
        mouseBox_->setStyle(displayStyle(10, true));
        mouseBox_->setText(tr("Off Canvas"));
    }
    canvas_->update();
}

QString MotionGraphEditorPage::frameText() const
{
    return duolo::frameText(session().currentFrame, session().frameCount);
}

QSlider* MotionGraphEditorPage::frameSlider() const { return frames_->slider(); }

void MotionGraphEditorPage::syncFrameControls()
{
    const MotionCaptureSession& s = session();
    frames_->show(s.frameCount, tickPerFrameInterval(s.frameCount), s.currentFrame, frameText());
}

// --- Preview ------------------------------------------------------------------------------

void MotionGraphEditorPage::choosePreview()
{
    playing_ = false;
    MotionCaptureSession& s = session();
    Graph2D* graph = currentGraph();
    if (graph && graph->howManySelectedEdges() == 1) {
        previewMode_ = EdgePreview;
        previewSource_ = graph->selectedEdges.front()->from;
        previewTarget_ = graph->selectedEdges.front()->to;
        inSourceClip_ = true;
        s.setFrame(previewSource_->startFrame);
    } else if (graph && graph->howManySelectedNodes() == 1) {
        previewMode_ = NodePreview;
        previewSource_ = graph->selectedNodes.front();
        previewTarget_ = nullptr;
        s.setFrame(previewSource_->startFrame);
    } else {
        previewMode_ = NoPreview;
        previewSource_ = previewTarget_ = nullptr;
        s.setFrame(0);
    }
    syncFrameControls();
    requestRedraw();
}

void MotionGraphEditorPage::previewStep()
{
    MotionCaptureSession& s = session();
    if (s.frameCount <= 0)
        return;
    // Past the clip's end, or wrapped from the last frame of the take to 0 (which a clip ending
    // on the last frame would otherwise never see: it would play the whole take from 0).
    const int32_t before = s.currentFrame;
    auto finished = [&s, before](const Graph2DNode* clip) {
        return s.currentFrame > clip->endFrame || s.currentFrame < before;
    };
    if (previewMode_ == EdgePreview) {
        s.stepFrame();
        const Graph2DNode* playingClip = inSourceClip_ ? previewSource_ : previewTarget_;
        if (finished(playingClip)) {
            inSourceClip_ = !inSourceClip_;
            s.setFrame((inSourceClip_ ? previewSource_ : previewTarget_)->startFrame);
        }
    } else if (previewMode_ == NodePreview) {
        s.stepFrame();
        if (finished(previewSource_))
            s.setFrame(previewSource_->startFrame);
    }
}

void MotionGraphEditorPage::play()
{
    playing_ = !playing_;
    if (!playing_)
        choosePreview();
    requestRedraw();
}

void MotionGraphEditorPage::pause()
{
    playing_ = false;
    requestRedraw();
}

void MotionGraphEditorPage::frameForward()
{
    playing_ = false;
    MotionCaptureSession& s = session();
    int f = s.currentFrame + 1;
    if (previewMode_ == EdgePreview) {
        if (inSourceClip_ && f > previewSource_->endFrame) {
            f = previewTarget_->startFrame;
            inSourceClip_ = false;
        } else if (!inSourceClip_ && f > previewTarget_->endFrame) {
            f = previewSource_->startFrame;
            inSourceClip_ = true;
        }
    } else if (previewMode_ == NodePreview) {
        if (f > previewSource_->endFrame || f < previewSource_->startFrame)
            f = previewSource_->startFrame;
    } else {
        return;
    }
    s.setFrame(f);
    syncFrameControls();
}

void MotionGraphEditorPage::frameBack()
{
    playing_ = false;
    MotionCaptureSession& s = session();
    int f = s.currentFrame - 1;
    if (previewMode_ == EdgePreview) {
        if (inSourceClip_ && f < previewSource_->startFrame) {
            f = previewTarget_->endFrame;
            inSourceClip_ = false;
        } else if (!inSourceClip_ && f < previewTarget_->startFrame) {
            f = previewSource_->endFrame;
            inSourceClip_ = true;
        }
    } else if (previewMode_ == NodePreview) {
        if (f < previewSource_->startFrame || f > previewSource_->endFrame)
            f = previewSource_->endFrame;
    } else {
        return;
    }
    s.setFrame(f);
    syncFrameControls();
}

void MotionGraphEditorPage::seekFrame(int frame)
{
    playing_ = false;
    if (isActive())
        setFrameInside(session(), frame);
    syncFrameControls();
}

void MotionGraphEditorPage::drawScene()
{
    if (!currentGroup())
        return;
    DisplayOptions options = mainWindow.displayOptions();
    options.showAllGroups = view_.showAllGroups;
    drawSessionFrame(session(), options, 0.3, 8, groupNumber_);
}

void MotionGraphEditorPage::advance()
{
    if (playing_)
        previewStep();
    syncFrameControls();
}

// --- Settings -----------------------------------------------------------------------------

void MotionGraphEditorPage::stepGroup(int delta)
{
    const int groups = session().groupCount();
    groupNumber_ = groups > 0 ? std::clamp(groupNumber_ + delta, 0, groups - 1) : 0;
    takeStoredView();
    refreshCanvas();
    requestRedraw();
}

void MotionGraphEditorPage::stepGridSpacing(int delta)
{
    view_.stepGridSpacing(delta);
    refreshCanvas();
}

void MotionGraphEditorPage::moveToOrigin()
{
    for (const auto& group : session().groups)
        moveGroupToOrigin(*group);
    requestRedraw();
}

} // namespace duolo
