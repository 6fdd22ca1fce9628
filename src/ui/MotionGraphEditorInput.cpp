// The editor's canvas input: mouse, keys and tooltips, each action a few graph operations.
#include "ui/MotionGraphEditorPage.h"

#include "capture/MessageSink.h"
#include "motiongraph/Graph2D.h"
#include "render/GraphCanvasWidget.h"
#include "skeleton/Group.h"
#include "ui/MainDialog.h"

#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>

namespace duolo {

namespace {

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

void MotionGraphEditorPage::leftPress(CanvasPixel p)
{
    Graph2D* graph = currentGraph();
    if (!graph || !view_.acceptsPress(p))
        return;
    // A drag from a node to another adds an edge: one step from the graph as it was here.
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
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
        if (graph->howManySelectedNodes() == 2) {
            const int before = graph->edgeCount();
            graph->join2SelectedNodes();
            if (graph->edgeCount() != before)
                mainWindow.endEdit(EditHistory::Scope::Graphs, tr("Add Edge %1 \u2192 %2")
                                                                   .arg(graph->selectedNodes[0]->id)
                                                                   .arg(graph->selectedNodes[1]->id));
        }
    }
    refreshCanvas();
}

void MotionGraphEditorPage::rightPress(CanvasPixel p, bool keepSelection)
{
    Graph2D* graph = currentGraph();
    if (!graph)
        return;
    const GraphPoint g = view_.toGraph(p);
    // Nodes dragged from here are one step, from the graph as it was here.
    mainWindow.beginEdit(EditHistory::Scope::Graphs);
    movedSincePress_ = false;
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
        if (graph) {
            graph->resolveSelectedOverlaps();
            if (movedSincePress_) {
                const int n = graph->howManySelectedNodes();
                mainWindow.endEdit(EditHistory::Scope::Graphs,
                                   n == 1 ? tr("Move Node %1").arg(graph->selectedNodes.front()->id)
                                          : tr("Move %1 Nodes").arg(n));
            }
        }
    }
    movedSincePress_ = false;
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
                movedSincePress_ = movedSincePress_ || !(p == view_.dragCurrent);
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

bool MotionGraphEditorPage::keyPress(int key)
{
    switch (key) {
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
        canvas_->setFocus(Qt::MouseFocusReason);  // for the keys
        if (e->button() == Qt::LeftButton)
            leftPress(p);
        else if (e->button() == Qt::RightButton && event->type() == QEvent::MouseButtonDblClick)
            rightDoubleClick(p);
        else if (e->button() == Qt::RightButton)
            rightPress(p, e->modifiers().testFlag(Qt::ControlModifier));
        return true;
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
        return keyPress(static_cast<QKeyEvent*>(event)->key());
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
