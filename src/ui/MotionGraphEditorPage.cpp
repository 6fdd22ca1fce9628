#include "ui/MotionGraphEditorPage.h"

#include "capture/MessageSink.h"
#include "motiongraph/Graph2D.h"
#include "render/GraphCanvasWidget.h"
#include "render/GraphDrawing.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/MainDialog.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QCursor>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QToolTip>
#include <QWheelEvent>

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

// An edge that continues a run of frames (the next clip starts right after this one ends), as
// opposed to a transition found between distant frames.
bool isContinuation(const Graph2DEdge& e)
{
    return e.to->startFrame == e.from->endFrame + 1;
}

template <typename T>
T* firstHit(const std::vector<T*>& unselected, const std::vector<T*>& selected, GraphPoint p)
{
    for (const auto* list : {&unselected, &selected})
        for (T* item : *list)
            if (item->hit(p.x, p.y))
                return item;
    return nullptr;
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
    view_.width = canvas_->canvasWidth();
    view_.height = canvas_->canvasHeight();
    choosePreview();
    refreshCanvas();
}

QWidget* MotionGraphEditorPage::buildCanvasColumn(QWidget* parent)
{
    canvas_ = new GraphCanvasWidget(parent);
    canvas_->setObjectName(QStringLiteral("graphCanvas"));
    canvas_->setMinimumSize(320, 240);
    canvas_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    canvas_->setDrawFunction([this](QPainter& painter) {
        drawGraphCanvas(painter, view_, session(), groupNumber_);
    });
    canvas_->installEventFilter(this);
    return canvas_;
}

QWidget* MotionGraphEditorPage::buildPreviewColumn(QWidget* parent)
{
    auto* column = new QWidget(parent);
    previewArea_ = new QFrame(column);
    previewArea_->setObjectName(QStringLiteral("previewArea"));
    previewArea_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    previewArea_->setMinimumSize(300, 220);
    previewArea_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    spinSlider_ = new SpinSlider(column);
    spinSlider_->setObjectName(QStringLiteral("spinSlider"));

    frameSlider_ = new QSlider(Qt::Horizontal, column);
    frameSlider_->setObjectName(QStringLiteral("frameSlider"));
    frameSlider_->setTickPosition(QSlider::TicksBelow);
    frameSlider_->setToolTip(tr("Frame shown in the preview; dragging stops playback"));
    connect(frameSlider_, &QSlider::valueChanged, this, [this](int value) {
        if (!syncingSlider_)
            seekFrame(value);
    });
    frameLabel_ = new QLabel(column);
    frameLabel_->setObjectName(QStringLiteral("frameLabel"));
    frameLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    frameLabel_->setMinimumWidth(90);

    auto makeButton = [this, column](const QString& caption, const QString& tip, void (MotionGraphEditorPage::*action)()) {
        auto* button = new QPushButton(caption, column);
        button->setToolTip(tip);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, action);
        return button;
    };
    play_ = makeButton(tr("Play"), tr("Play the selected node's clip, or the selected edge's transition, in a loop"),
                       &MotionGraphEditorPage::play);
    auto* pause = makeButton(tr("Pause"), tr("Stop at the current frame"), &MotionGraphEditorPage::pause);
    auto* back = makeButton(tr("Frame Back"), tr("One frame back in the previewed clip"), &MotionGraphEditorPage::frameBack);
    auto* forward = makeButton(tr("Frame Forward"), tr("One frame on in the previewed clip"),
                               &MotionGraphEditorPage::frameForward);

    auto* buttons = new QGridLayout;
    buttons->addWidget(play_, 0, 0);
    buttons->addWidget(pause, 0, 1);
    buttons->addWidget(back, 1, 0);
    buttons->addWidget(forward, 1, 1);
    buttons->addWidget(frameLabel_, 1, 2);

    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(previewArea_, 1);
    layout->addWidget(spinSlider_);
    layout->addWidget(frameSlider_);
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
    auto* save = new QPushButton(tr("Save Progress"), column);
    save->setToolTip(tr("Motion graphs are not stored in the project file: nothing to save here"));
    nextStep_ = new QPushButton(tr("Go To Next Step"), column);
    nextStep_->setObjectName(QStringLiteral("goToNextStep"));
    nextStep_->setToolTip(tr("Go on to playing the motion graphs"));
    connect(nextStep_, &QPushButton::clicked, this, [this] { this->mainWindow.goToNextStep(4); });
    for (QPushButton* b : {toOrigin, save, nextStep_})
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
    grid->addWidget(nextStep_, row++, 2);
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
    if (!previewNodesExist())
        choosePreview();
    syncFrameControls();
    refreshCanvas();
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

void MotionGraphEditorPage::refreshCanvas()
{
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
    const MotionCaptureSession& s = session();
    return QStringLiteral("%1 / %2").arg(s.currentFrame).arg(s.frameCount - 1);
}

void MotionGraphEditorPage::syncFrameControls()
{
    const MotionCaptureSession& s = session();
    syncingSlider_ = true;
    const int last = std::max(0, s.frameCount - 1);
    frameSlider_->setRange(0, last);
    frameSlider_->setTickInterval(std::max(1, (last + 1) / 100));
    frameSlider_->setValue(s.currentFrame);
    syncingSlider_ = false;
    frameLabel_->setText(frameText());
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
}

void MotionGraphEditorPage::previewStep()
{
    MotionCaptureSession& s = session();
    if (s.frameCount <= 0)
        return;
    // Leaving the clip at either end counts as finishing it: stepping wraps from the last frame
    // of the take to 0, which is before a clip that ends on the last frame.
    auto finished = [&s](const Graph2DNode* clip) {
        return s.currentFrame > clip->endFrame || s.currentFrame < clip->startFrame;
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
}

void MotionGraphEditorPage::pause()
{
    playing_ = false;
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
    MotionCaptureSession& s = session();
    if (isActive() && s.frameCount > 0)
        s.setFrame(std::clamp(frame, 0, s.frameCount - 1));
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
    refreshCanvas();
}

void MotionGraphEditorPage::stepGridSpacing(int delta)
{
    view_.stepGridSpacing(delta);
    refreshCanvas();
}

void MotionGraphEditorPage::moveToOrigin()
{
    for (const auto& group : session().groups)
        group->positionOffset = Vec3{};
}

// --- Mouse and keys -----------------------------------------------------------------------

void MotionGraphEditorPage::leftPress(CanvasPixel p)
{
    Graph2D* graph = currentGraph();
    if (!graph || !view_.acceptsPress(p))
        return;
    graph->deselectAll();
    choosePreview();
    const GraphPoint g = view_.toGraph(p);
    graph->toggleNodeAt(g.x, g.y);
    if (graph->howManySelectedNodes() > 0) {
        view_.edgeDragging = true;
        const Graph2DNode* node = graph->selectedNodes.back();
        const CanvasPixel centre = view_.toPixel(node->x, node->y).value_or(p);
        view_.dragStart = view_.dragCurrent = centre;
    }
    refreshCanvas();
}

void MotionGraphEditorPage::leftRelease(CanvasPixel p)
{
    Graph2D* graph = currentGraph();
    // Only a drag that began on a node ends in an edge; the drag ends wherever the button is let
    // go, so that the provisional edge never outlives it.
    const bool wasDragging = view_.edgeDragging;
    view_.edgeDragging = false;
    if (graph && wasDragging && view_.acceptsPress(p)) {
        const GraphPoint g = view_.toGraph(view_.dragCurrent);
        if (graph->isNodeAt(g.x, g.y))
            graph->toggleNodeAt(g.x, g.y);
        if (graph->howManySelectedNodes() == 2)
            graph->join2SelectedNodes();
    }
    refreshCanvas();
}

void MotionGraphEditorPage::rightPress(CanvasPixel p, bool keepSelection)
{
    Graph2D* graph = currentGraph();
    if (!graph)
        return;
    const GraphPoint g = view_.toGraph(p);
    if (!graph->isSelectedNodeAt(g.x, g.y) && !graph->isSelectedEdgeAt(g.x, g.y) && !keepSelection) {
        graph->deselectAll();
        choosePreview();
    }
    if (graph->isNodeAt(g.x, g.y)) {
        view_.moving = true;
        if (!graph->isSelectedNodeAt(g.x, g.y))
            graph->toggleNodeAt(g.x, g.y);
    } else if (!graph->isEdgeAt(g.x, g.y)) {
        view_.rectangleSelecting = true;
    } else if (!graph->isSelectedEdgeAt(g.x, g.y)) {
        graph->toggleEdgeAt(g.x, g.y);
        choosePreview();
    }
    view_.dragStart = view_.dragCurrent = p;
    refreshCanvas();
}

void MotionGraphEditorPage::rightRelease()
{
    Graph2D* graph = currentGraph();
    if (view_.rectangleSelecting) {
        view_.rectangleSelecting = false;
        const CanvasPixel first{std::min(view_.dragStart.x, view_.dragCurrent.x),
                                std::min(view_.dragStart.y, view_.dragCurrent.y)};
        const CanvasPixel second{std::max(view_.dragStart.x, view_.dragCurrent.x),
                                 std::max(view_.dragStart.y, view_.dragCurrent.y)};
        const GraphPoint a = view_.toGraph(first);
        const GraphPoint b = view_.toGraph(second);
        if (graph)
            graph->toggleNodesInRectangle(a.x, a.y, b.x, b.y);
    } else if (view_.moving) {
        view_.moving = false;
        if (graph)
            graph->resolveSelectedOverlaps();
    }
    if (graph)
        choosePreview();
    refreshCanvas();
}

void MotionGraphEditorPage::rightDoubleClick(CanvasPixel p)
{
    const GraphPoint g = view_.toGraph(p);
    view_.setCentre(g.x, g.y);
    refreshCanvas();
    QCursor::setPos(canvas_->mapToGlobal(canvas_->rect().center()));
}

void MotionGraphEditorPage::mouseMove(CanvasPixel p)
{
    if (!currentGroup())
        return;
    mouse_ = p;
    mouseSeen_ = true;
    if (view_.edgeDragging || view_.moving || view_.rectangleSelecting) {
        if (view_.moving) {
            if (Graph2D* graph = currentGraph()) {
                const GraphPoint from = view_.toGraph(view_.dragCurrent);
                const GraphPoint to = view_.toGraph(p);
                graph->moveSelected(to.x - from.x, to.y - from.y);
            }
        }
        view_.dragCurrent = p;
    }
    refreshCanvas();
}

void MotionGraphEditorPage::wheel(int delta)
{
    showMessage("Mouse Wheel");
    view_.wheelZoom(delta);
    refreshCanvas();
}

bool MotionGraphEditorPage::keyPress(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: view_.wheelZoom(+1); break;
    case Qt::Key_Minus: view_.wheelZoom(-1); break;
    case Qt::Key_Left: view_.pan(-0.1, 0.0); break;
    case Qt::Key_Right: view_.pan(0.1, 0.0); break;
    case Qt::Key_Up: view_.pan(0.0, 0.1); break;
    case Qt::Key_Down: view_.pan(0.0, -0.1); break;
    case Qt::Key_Home:
        if (const Graph2D* graph = currentGraph())
            view_.fitToGraph(*graph);
        else
            view_.setCentre(0.0, 0.0);
        break;
    default: return false;
    }
    refreshCanvas();
    return true;
}

QString MotionGraphEditorPage::toolTipAt(CanvasPixel pixel) const
{
    const Graph2D* graph = currentGraph();
    if (!graph)
        return {};
    const GraphPoint g = view_.toGraph(pixel);
    if (const Graph2DNode* node = firstHit(graph->nodes, graph->selectedNodes, g)) {
        int outgoing = 0, incoming = 0;
        for (const Graph2DEdge* e : node->incidentEdges) {
            outgoing += e->from == node;
            incoming += e->to == node;
        }
        return tr("Node %1\nFrames %2 to %3\n%4 outgoing, %5 incoming")
            .arg(node->id).arg(node->startFrame).arg(node->endFrame).arg(outgoing).arg(incoming);
    }
    if (const Graph2DEdge* edge = firstHit(graph->edges, graph->selectedEdges, g))
        return tr("Edge from node %1 to node %2\n%3")
            .arg(edge->from->id)
            .arg(edge->to->id)
            .arg(isContinuation(*edge) ? tr("Continuation: the next clip follows on") : tr("Transition"));
    return {};
}

void MotionGraphEditorPage::showToolTip(const QHelpEvent& event)
{
    const QString text = toolTipAt(GraphCanvasWidget::canvasPixel(event.pos()));
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event.globalPos(), text, canvas_);
}

bool MotionGraphEditorPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != canvas_)
        return PipelinePage::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* e = static_cast<QMouseEvent*>(event);
        const CanvasPixel p = GraphCanvasWidget::canvasPixel(e->position().toPoint());
        if (e->button() == Qt::LeftButton)
            leftPress(p);
        else if (e->button() == Qt::RightButton && event->type() == QEvent::MouseButtonDblClick)
            rightDoubleClick(p);
        else if (e->button() == Qt::RightButton)
            rightPress(p, e->modifiers().testFlag(Qt::ControlModifier));
        return false;  // the canvas still takes the keyboard focus
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton)
            leftRelease(GraphCanvasWidget::canvasPixel(e->position().toPoint()));
        else if (e->button() == Qt::RightButton)
            rightRelease();
        return true;
    }
    case QEvent::MouseMove:
        mouseMove(GraphCanvasWidget::canvasPixel(static_cast<QMouseEvent*>(event)->position().toPoint()));
        return true;
    case QEvent::Wheel: {
        const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
        if (delta.y() != 0 || delta.x() == 0)  // a sideways scroll is not a wheel turn
            wheel(delta.y());
        return true;
    }
    case QEvent::KeyPress:
        return keyPress(*static_cast<QKeyEvent*>(event));
    case QEvent::ToolTip:
        showToolTip(*static_cast<QHelpEvent*>(event));
        return true;
    case QEvent::Resize:
        view_.width = canvas_->canvasWidth();
        view_.height = canvas_->canvasHeight();
        refreshCanvas();
        return false;
    case QEvent::Leave:
        mouseSeen_ = false;
        refreshCanvas();
        return false;
    default:
        return false;
    }
}

} // namespace duolo
