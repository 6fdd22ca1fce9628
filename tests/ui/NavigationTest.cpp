// Finding one's way around a graph, with real events: the playback panel's own zoom, pan, fit and
// follow; the editor's view keys with the focus on another control; the clip strips.
#include "UiTestSupport.h"

#include "motiongraph/Graph2D.h"
#include "motiongraph/GraphLayout.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "render/ClipStripWidget.h"
#include "render/GraphCanvasWidget.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "ui/GraphPlaybackPage.h"
#include "ui/MainDialog.h"
#include "ui/MotionGraphEditorPage.h"
#include "ui/OpenSessionPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

using namespace duolo;
using namespace duolo::test;

namespace {

void saveScreenshot(QWidget* window, const QString& name)
{
    const QString folder = qEnvironmentVariable("DUOLO_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        window->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void wheel(QWidget* widget, int delta)
{
    const QPoint pos = widget->rect().center();
    QWheelEvent e(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &e);
}

} // namespace

class NavigationTest : public QObject {
    Q_OBJECT
private slots:
    // The sample with its graph laid out on a time line (so that a clip's place is known).
    void thePlaybackPanelAndTheEditorsViewKeysAndClipStrip()
    {
        FixedClock clock{77};
        CapturedMessages messages;
        ScriptedWindow w;
        w.window->openProject(samplePath("sample.dwz"));
        Group& group = *w.window->session().groups.front();
        buildPoses(group);
        createEntireMotionGraph(group, 10, 60.0);
        std::string error;
        layOutTimeline(*group.graph, 1024.0, error);
        w.window->openPage()->nextStepButton()->click();
        for (int code : {2, 3, 4})
            w.window->goToNextStep(code);
        w.window->resize(MainDialog::kDefaultWidth, MainDialog::kDefaultHeight);
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QApplication::setActiveWindow(w.window.get());

        // The playback panel has its own zoom, pan, fit and follow.
        w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::GraphPlayback));
        auto* page = static_cast<GraphPlaybackPage*>(w.window->page(PageKind::GraphPlayback));
        page->stopFrameTimer();
        page->tick();
        QWidget* panel = page->panel();
        QTest::qWait(50);  // the window's layout settles
        page->fitPanel();
        page->panelImage();
        const int fitted = page->panelView().zoom;

        // The wheel zooms this panel's view, without the editor's message.
        wheel(panel, 120);
        QCOMPARE(page->panelView().zoom, std::min(fitted * 2, 64));
        for (const std::string& m : messages.messages)
            QVERIFY(m != "Mouse Wheel");

        // A drag pans (the graph follows the mouse) and hands the view to the user.
        QVERIFY(page->followBox()->isChecked());
        const double before = page->panelView().centreX;
        const QPoint from = panel->rect().center();
        QTest::mousePress(panel, Qt::LeftButton, {}, from);
        QTest::mouseMove(panel, from + QPoint(40, 0));
        QTest::mouseRelease(panel, Qt::LeftButton, {}, from + QPoint(40, 0));
        QVERIFY(page->panelView().centreX < before);
        QVERIFY(!page->followBox()->isChecked());

        // Home shows the whole graph again.
        QApplication::setActiveWindow(w.window.get());
        panel->setFocus();
        QTRY_VERIFY(panel->hasFocus());
        QTest::keyClick(panel, Qt::Key_Home);
        page->panelImage();
        QCOMPARE(page->panelView().zoom, fitted);

        // Following: zoomed in far from the walker, the view comes back to its current node.
        page->followBox()->setChecked(true);
        for (int k = 0; k < 6; ++k)
            wheel(panel, 120);
        page->playButton()->click();
        for (int k = 0; k < 60; ++k) {
            page->tick();
            page->panelImage();  // one drawing of the panel, as a repaint draws it
            QVERIFY(page->panelView().shows({group.currentNode->x, group.currentNode->y}));
        }

        // The frame slider only shows the walk's frame; the clip strip marks it.
        QVERIFY(!page->frameSlider()->isEnabled());
        QCOMPARE(page->clipBands()->markers().size(), size_t{1});
        QCOMPARE(page->clipBands()->markers().front().frame, group.currentNode->currentFrame);
        saveScreenshot(w.window.get(), QStringLiteral("playback-following"));
        page->pauseButton()->click();

        // In the editor, with the focus on the "Delete" button, not the canvas, the view's keys
        // still work.
        w.window->tabs()->setCurrentIndex(static_cast<int>(PageKind::MotionGraphEditor));
        auto* editor = static_cast<MotionGraphEditorPage*>(w.window->page(PageKind::MotionGraphEditor));
        editor->deleteButton()->setFocus();
        QCOMPARE(QApplication::focusWidget(), editor->deleteButton());
        const int zoom = editor->graphView().zoom;
        QTest::keyClick(editor->deleteButton(), Qt::Key_Minus);
        QCOMPARE(editor->graphView().zoom, zoom / 2);
        const double x = editor->graphView().centreX;
        QTest::keyClick(editor->deleteButton(), Qt::Key_Right);
        QVERIFY(editor->graphView().centreX > x);

        // A click on the strip selects the node holding that frame, alone, and centres it.
        Graph2D& graph = *group.graph;
        ClipStripWidget* strip = editor->clipStrip();
        QCOMPARE(strip->bands().size(), static_cast<size_t>(graph.totalNodeCount()));
        const int px = strip->width() * 3 / 4;
        const int frame = strip->frameAt(px);
        QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(px, strip->height() / 2));
        QCOMPARE(graph.howManySelectedNodes(), 1);
        const Graph2DNode* chosen = graph.selectedNodes.front();
        QVERIFY(chosen->startFrame <= frame && frame <= chosen->endFrame);
        QCOMPARE(editor->graphView().centreX, chosen->x);
        QCOMPARE(editor->graphView().centreY, chosen->y);
        int highlighted = 0;
        for (const auto& band : strip->bands())
            highlighted += band.highlighted;
        QCOMPARE(highlighted, 1);
        saveScreenshot(w.window.get(), QStringLiteral("editor-time-line"));
    }
};

QTEST_MAIN(NavigationTest)
#include "NavigationTest.moc"
