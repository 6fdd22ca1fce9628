// The motion graph editor page, driven by mouse and key events on its canvas.

#include "UiTestSupport.h"

#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "render/GraphCanvasWidget.h"
#include "render/ValueBox.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "ui/MainDialog.h"
#include "ui/MotionGraphEditorPage.h"
#include "ui/OpenSessionPage.h"
#include "ui/UpDownControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>

using namespace duolo;
using namespace duolo::test;

namespace {

// The main window at stage 3 on the sample project (one group, 400 frames), or on a session
// without groups, showing the editor.
struct EditorFixture {
    TempDir dir;
    CapturedMessages messages;
    ScriptedWindow w;
    MotionGraphEditorPage* page = nullptr;

    explicit EditorFixture(bool sample = true)
    {
        if (sample) {
            QVERIFY(w.window->openProject(samplePath("sample.dwz")));
        } else {
            w.script->markerFiles.push_back(writeTinySession(dir, 10));
            w.window->openPage()->openFilesButton()->click();
        }
        w.window->openPage()->nextStepButton()->click();
        w.window->goToNextStep(2);
        w.window->goToNextStep(3);
        page = static_cast<MotionGraphEditorPage*>(w.window->page(PageKind::MotionGraphEditor));
        w.window->resize(MainDialog::kDefaultWidth, MainDialog::kDefaultHeight);
        w.window->show();
        w.window->tabs()->setCurrentIndex(4);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    }

    MotionCaptureSession& session() { return w.window->session(); }
    Graph2D& graph() { return *session().groups.front()->graph; }
    QWidget* canvas() { return page->canvas(); }

    // A node with the given clip exactly at (x, y), unselected.
    Graph2DNode* node(int32_t start, int32_t end, double x, double y)
    {
        Graph2DNode* n = graph().addNode(start, end, 400.0 + start, 400.0);
        n->translate(x - n->x, y - n->y);
        graph().deselectAll();
        return n;
    }

    // The canvas widget's point over a graph point.
    QPoint at(double x, double y)
    {
        const CanvasPixel p = *page->graphView().toPixel(x, y);
        return {p.x + 2, p.y + 2};
    }

    void drag(Qt::MouseButton button, QPoint from, QPoint to, Qt::KeyboardModifiers keys = {})
    {
        QTest::mousePress(canvas(), button, keys, from);
        QTest::mouseMove(canvas(), (from + to) / 2);
        QTest::mouseMove(canvas(), to);
        QTest::mouseRelease(canvas(), button, keys, to);
    }

    void wheel(int delta)
    {
        const QPoint pos = canvas()->rect().center();
        QWheelEvent e(QPointF(pos), QPointF(canvas()->mapToGlobal(pos)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas(), &e);
    }

    void saveScreenshot(const QString& name)
    {
        const QString folder = qEnvironmentVariable("DUOLO_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            w.window->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
};

bool contains(const std::vector<Graph2DNode*>& list, const Graph2DNode* n)
{
    return std::find(list.begin(), list.end(), n) != list.end();
}

} // namespace

class MotionGraphEditorTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithTheDefaultsOfItsDisplays()
    {
        EditorFixture f;
        QCOMPARE(f.page->zoomBox()->text(), QStringLiteral("16X"));
        QCOMPARE(f.page->gridSpacingBox()->text(), QStringLiteral("4"));
        QCOMPARE(f.page->groupBox()->text(), QStringLiteral("0"));
        QCOMPARE(f.page->screenCentreBox()->text(), QStringLiteral("0.00, 0.00"));
        QVERIFY(f.page->showGridBox()->isChecked());
        QVERIFY(!f.page->showAllGroupsBox()->isChecked());
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::NoPreview);
        QCOMPARE(f.page->frameText(), QStringLiteral("0 / 399"));
        const GraphView& v = f.page->graphView();
        QCOMPARE(v.width, f.canvas()->width() - 6);
        QVERIFY(v.width > 300 && v.height > 300);

        QTest::mouseMove(f.canvas(), f.at(1.5, -2.25));
        QTest::mousePress(f.canvas(), Qt::LeftButton, {}, f.at(1.5, -2.25));  // empty canvas
        QTest::mouseMove(f.canvas(), f.at(1.5, -2.25));
        QTest::mouseRelease(f.canvas(), Qt::LeftButton, {}, f.at(1.5, -2.25));
        QVERIFY(f.page->mousePositionBox()->text().startsWith(QStringLiteral("1.")));
        QCOMPARE(f.graph().howManySelectedNodes(), 0);

        f.page->gridSpacingSpinner()->upButton()->click();
        QCOMPARE(f.page->gridSpacingBox()->text(), QStringLiteral("8"));
        f.page->groupSpinner()->upButton()->click();  // one group: stays 0
        QCOMPARE(f.page->groupNumber(), 0);
    }

    void leftDragBetweenTwoNodesDrawsAnEdge()
    {
        EditorFixture f;
        Graph2DNode* a = f.node(0, 99, -10.0, 0.0);
        Graph2DNode* b = f.node(100, 199, 10.0, 0.0);

        // A plain click toggles the node on and off again.
        QTest::mouseClick(f.canvas(), Qt::LeftButton, {}, f.at(-10.0, 0.0));
        QCOMPARE(f.graph().howManySelectedNodes(), 0);
        QCOMPARE(f.graph().edgeCount(), 0);

        QTest::mousePress(f.canvas(), Qt::LeftButton, {}, f.at(-10.0, 0.0));
        QTest::mouseMove(f.canvas(), f.at(0.0, 3.0));
        QVERIFY(f.page->graphView().edgeDragging);
        QTest::mouseMove(f.canvas(), f.at(10.0, 0.0));
        QTest::mouseRelease(f.canvas(), Qt::LeftButton, {}, f.at(10.0, 0.0));
        QVERIFY(!f.page->graphView().edgeDragging);
        QCOMPARE(f.graph().edgeCount(), 1);
        QCOMPARE(f.graph().edges.front()->from, a);
        QCOMPARE(f.graph().edges.front()->to, b);

        // From a node to empty canvas: the node stays selected and nothing is added.
        f.drag(Qt::LeftButton, f.at(10.0, 0.0), f.at(10.0, 12.0));
        QCOMPARE(f.graph().edgeCount(), 1);
        QCOMPARE(f.graph().selectedNodes, std::vector<Graph2DNode*>{b});
        QCOMPARE(f.graph().howManySelectedEdges(), 0);

        QVERIFY(f.page->toolTipAt(GraphCanvasWidget::canvasPixel(f.at(-10.0, 0.0)))
                    .startsWith(QStringLiteral("Node 0\nFrames 0 to 99\n1 outgoing, 0 incoming")));
        QCOMPARE(f.page->toolTipAt(GraphCanvasWidget::canvasPixel(f.at(0.0, 0.0))),
                 QStringLiteral("Edge from node 0 to node 1\nContinuation: the next clip follows on"));
        QVERIFY(f.page->toolTipAt(GraphCanvasWidget::canvasPixel(f.at(0.0, 8.0))).isEmpty());
    }

    void rightDragSelectsByRectangleWithAndWithoutCtrl()
    {
        EditorFixture f;
        Graph2DNode* a = f.node(0, 9, -10.0, 0.0);
        Graph2DNode* b = f.node(10, 19, 10.0, 0.0);
        Graph2DNode* c = f.node(20, 29, 0.0, 10.0);

        f.drag(Qt::RightButton, f.at(-15.0, 5.0), f.at(5.0, -5.0));
        QCOMPARE(f.graph().selectedNodes, std::vector<Graph2DNode*>{a});
        QVERIFY(!f.page->graphView().rectangleSelecting);
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::NodePreview);
        QCOMPARE(f.session().currentFrame, 0);

        // Ctrl keeps a and adds what the rectangle toggles.
        f.drag(Qt::RightButton, f.at(-5.0, 15.0), f.at(15.0, -5.0), Qt::ControlModifier);
        QCOMPARE(f.graph().howManySelectedNodes(), 3);

        // Without Ctrl the selection starts afresh.
        f.drag(Qt::RightButton, f.at(15.0, 5.0), f.at(5.0, -5.0));
        QCOMPARE(f.graph().selectedNodes, std::vector<Graph2DNode*>{b});
        QVERIFY(contains(f.graph().nodes, a) && contains(f.graph().nodes, c));
        QCOMPARE(f.session().currentFrame, 10);  // the single node's clip start
    }

    void movingNodesOntoAnotherResolvesTheOverlapOnRelease()
    {
        EditorFixture f;
        Graph2DNode* a = f.node(0, 9, -10.0, 0.0);
        Graph2DNode* b = f.node(10, 19, 10.0, 0.0);
        f.graph().addEdge(a, b);
        f.drag(Qt::RightButton, f.at(-10.0, 0.0), f.at(10.0, 0.0));
        QVERIFY(!f.page->graphView().moving);
        QCOMPARE(f.graph().selectedNodes, std::vector<Graph2DNode*>{a});
        const double apart = std::hypot(a->x - b->x, a->y - b->y);
        QVERIFY2(apart > 1.0 && apart < 8.0, qPrintable(QString::number(apart)));
        QCOMPARE(b->x, 10.0);
        // The edge followed its node.
        QCOMPARE(f.graph().edges.front()->cornerX[0] > 0.0, a->x > 0.5);
    }

    void rightDoubleClickCentresOnThePoint()
    {
        EditorFixture f;
        QTest::mouseDClick(f.canvas(), Qt::RightButton, {}, f.at(6.0, -4.0));
        const GraphView& v = f.page->graphView();
        QVERIFY(std::fabs(v.centreX - 6.0) < 0.2);
        QVERIFY(std::fabs(v.centreY + 4.0) < 0.2);
        QVERIFY(f.page->screenCentreBox()->text().startsWith(QStringLiteral("5.9"))
                || f.page->screenCentreBox()->text().startsWith(QStringLiteral("6.0")));
        if (QCursor::pos() != f.canvas()->mapToGlobal(f.canvas()->rect().center()))
            QSKIP("the pointer cannot be moved on this display");
    }

    void wheelShowsItsBoxAndClampsTheZoom()
    {
        EditorFixture f;
        for (int expected : {32, 64, 64}) {
            f.wheel(120);
            QCOMPARE(f.page->graphView().zoom, expected);
        }
        QCOMPARE(f.page->zoomBox()->text(), QStringLiteral("64X"));
        for (int i = 0; i < 7; ++i)
            f.wheel(-120);
        QCOMPARE(f.page->graphView().zoom, 1);
        QCOMPARE(f.messages.messages.size(), size_t{10});
        QCOMPARE(f.messages.messages.back(), std::string("Mouse Wheel"));

        // The keys zoom without the box, pan by a tenth of the width and fit the graph.
        f.messages.messages.clear();
        QTest::keyClick(f.canvas(), Qt::Key_Plus);
        QCOMPARE(f.page->graphView().zoom, 2);
        QTest::keyClick(f.canvas(), Qt::Key_Minus);
        QTest::keyClick(f.canvas(), Qt::Key_Minus);
        QCOMPARE(f.page->graphView().zoom, 1);
        QVERIFY(f.messages.messages.empty());
        f.node(0, 9, 100.0, 50.0);
        f.node(10, 19, 120.0, 60.0);
        QTest::keyClick(f.canvas(), Qt::Key_Home);
        QCOMPARE(f.page->graphView().zoom, 32);
        QCOMPARE(f.page->graphView().centreX, 110.0);
        QTest::keyClick(f.canvas(), Qt::Key_Right);
        QCOMPARE(f.page->graphView().centreX, 113.2);  // a tenth of 32 units
    }

    void previewPlaysTheEdgeTransitionOrTheNodeClip()
    {
        EditorFixture f;
        Graph2DNode* a = f.node(20, 22, -10.0, 0.0);
        Graph2DNode* b = f.node(50, 51, 10.0, 0.0);
        Graph2DNode* c = f.node(70, 72, 0.0, 10.0);
        f.graph().addEdge(a, b);

        // One edge and one node selected: the edge's transition.
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, 0.0));
        QTest::mouseClick(f.canvas(), Qt::RightButton, Qt::ControlModifier, f.at(0.0, 10.0));
        QCOMPARE(f.graph().howManySelectedEdges(), 1);
        QCOMPARE(f.graph().selectedNodes, std::vector<Graph2DNode*>{c});
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::EdgePreview);
        QCOMPARE(f.page->previewSource(), a);
        QCOMPARE(f.page->previewTarget(), b);
        QCOMPARE(f.session().currentFrame, 20);
        f.page->playButton()->click();
        std::vector<int> frames;
        for (int i = 0; i < 8; ++i) {
            f.page->tick();
            frames.push_back(f.session().currentFrame);
        }
        QCOMPARE(frames, (std::vector<int>{21, 22, 50, 51, 20, 21, 22, 50}));
        f.page->playButton()->click();  // stopping chooses again: back to the start
        QCOMPARE(f.session().currentFrame, 20);
        f.page->frameBack();
        QCOMPARE(f.session().currentFrame, 51);
        QVERIFY(!f.page->inSourceClip());
        f.page->frameForward();
        QCOMPARE(f.session().currentFrame, 20);

        // Pressing on a selected node keeps the selection; on empty canvas it clears it.
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, 10.0));
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::EdgePreview);
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, -10.0));
        // One node alone: its clip, wrapping at both ends.
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, 10.0));
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::NodePreview);
        QCOMPARE(f.session().currentFrame, 70);
        f.page->frameBack();
        QCOMPARE(f.session().currentFrame, 72);
        f.page->frameForward();
        QCOMPARE(f.session().currentFrame, 70);

        // A clip that ends on the take's last frame starts again at its own start, not at 0.
        Graph2DNode* last = f.node(397, 399, -10.0, 10.0);
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, -10.0));
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(last->x, last->y));
        QCOMPARE(f.page->previewSource(), last);
        f.page->play();
        frames.clear();
        for (int i = 0; i < 4; ++i) {
            f.page->tick();
            frames.push_back(f.session().currentFrame);
        }
        QCOMPARE(frames, (std::vector<int>{398, 399, 397, 398}));
        f.page->pause();

        // Nothing selected: "Play" leaves the frame at 0.
        QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, -10.0));
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::NoPreview);
        f.page->playButton()->click();
        QVERIFY(f.page->isPlaying());
        for (int i = 0; i < 3; ++i)
            f.page->tick();
        QCOMPARE(f.session().currentFrame, 0);
        f.page->frameForward();
        QCOMPARE(f.session().currentFrame, 0);
    }

    void withoutGroupsEveryActionIsHarmless()
    {
        EditorFixture f(false);
        QCOMPARE(f.session().groupCount(), 0);
        QVERIFY(f.page->currentGraph() == nullptr);
        f.drag(Qt::LeftButton, f.at(0.0, 0.0), f.at(5.0, 5.0));
        f.drag(Qt::RightButton, f.at(0.0, 0.0), f.at(5.0, 5.0));
        QTest::mouseDClick(f.canvas(), Qt::RightButton, {}, f.at(1.0, 1.0));
        f.wheel(120);
        QTest::keyClick(f.canvas(), Qt::Key_Home);
        f.page->groupSpinner()->upButton()->click();
        f.page->play();
        f.page->tick();
        f.page->frameForward();
        QCOMPARE(f.page->previewMode(), MotionGraphEditorPage::NoPreview);
        QCOMPARE(f.session().currentFrame, 0);
        QVERIFY(!f.page->canvas()->renderImage().isNull());
        // The canvas's picture: its right button is the editor's, so a button saves it.
        TempDir dir;
        const QString png = QString::fromStdString(dir.file("graph.png").string());
        f.w.script->picturesToSave.push_back(png);
        f.page->savePictureButton()->click();
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32),
                 f.page->canvas()->renderImage().convertToFormat(QImage::Format_RGB32));
        f.page->nextStepButton()->click();
        QCOMPARE(f.w.window->stage(), 4);
    }

    void screenshotsOfTheSampleGraphAndALargerOne()
    {
        if (qEnvironmentVariableIsEmpty("DUOLO_SCREENSHOT_DIR"))
            QSKIP("set DUOLO_SCREENSHOT_DIR to write screenshots");
        {
            EditorFixture f;
            Group& group = *f.session().groups.front();
            QVERIFY(buildPoses(group));
            computeMaxFrameDistance(group);
            QVERIFY(createEntireMotionGraph(group, 10, std::floor(group.maxFrameDistance / 4)));
            f.graph().deselectAll();
            f.page->activate();
            QTest::mouseClick(f.canvas(), Qt::RightButton, {}, f.at(0.0, 0.0));
            QTest::mouseMove(f.canvas(), f.at(3.0, 2.0));
            QTest::qWait(100);
            f.saveScreenshot(QStringLiteral("editor-sample"));
            QTest::keyClick(f.canvas(), Qt::Key_Home);
            QTest::qWait(50);
            f.saveScreenshot(QStringLiteral("editor-sample-fitted"));
            // Mid-drag: the provisional edge from a node, then a selection rectangle.
            const Graph2DNode* n = f.graph().nodes.front();
            QTest::mousePress(f.canvas(), Qt::LeftButton, {}, f.at(n->x, n->y));
            QTest::mouseMove(f.canvas(), f.at(n->x + 6.0, n->y - 5.0));
            QTest::qWait(50);
            f.saveScreenshot(QStringLiteral("editor-sample-edge-drag"));
            QTest::mouseRelease(f.canvas(), Qt::LeftButton, {}, f.at(n->x + 6.0, n->y - 5.0));
            QTest::mousePress(f.canvas(), Qt::RightButton, {}, f.at(n->x - 4.0, n->y + 3.0));
            QTest::mouseMove(f.canvas(), f.at(n->x + 9.0, n->y - 9.0));
            QTest::qWait(50);
            f.saveScreenshot(QStringLiteral("editor-sample-rectangle"));
            QTest::mouseRelease(f.canvas(), Qt::RightButton, {}, f.at(n->x + 9.0, n->y - 9.0));
            QTest::qWait(50);
            f.saveScreenshot(QStringLiteral("editor-sample-selected"));
        }
        if (!haveSharedData())
            return;
        ScriptedWindow w;
        CapturedMessages messages;
        Group* group = buildLocomotionGroup(w.window->session(), sharedDataDir() / "hdm05_mm_locomotion");
        QVERIFY(group);
        computeMaxFrameDistance(*group);
        QVERIFY(createEntireMotionGraph(*group, 10, std::floor(group->maxFrameDistance / 4)));
        group->graph->deselectAll();
        for (int code : {0, 2, 3})
            w.window->goToNextStep(code);
        w.window->resize(MainDialog::kDefaultWidth, MainDialog::kDefaultHeight);
        w.window->show();
        w.window->tabs()->setCurrentIndex(4);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QTest::qWait(100);
        const QString folder = qEnvironmentVariable("DUOLO_SCREENSHOT_DIR");
        w.window->grab().save(folder + QStringLiteral("/editor-locomotion.png"));
        auto* page = static_cast<MotionGraphEditorPage*>(w.window->page(PageKind::MotionGraphEditor));
        QTest::keyClick(page->canvas(), Qt::Key_Plus);
        QTest::keyClick(page->canvas(), Qt::Key_Plus);
        QTest::qWait(50);
        w.window->grab().save(folder + QStringLiteral("/editor-locomotion-zoom64.png"));
        qInfo("locomotion graph: %d nodes, %d edges", group->graph->nodeCount(), group->graph->edgeCount());
    }
};

QTEST_MAIN(MotionGraphEditorTest)
#include "MotionGraphEditorTest.moc"
