// The 3D views repaint only when their picture may have changed, and then show what repainting
// on every tick would show.

#include "UiTestSupport.h"

#include "render/GlView.h"
#include "render/GraphCanvasWidget.h"
#include "render/SpinSlider.h"
#include "motiongraph/Graph2D.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/AnimationDissectionPage.h"
#include "ui/BackgroundJob.h"
#include "ui/DistanceMapWindow.h"
#include "ui/MainDialog.h"
#include "ui/MotionGraphEditorPage.h"
#include "ui/OpenSessionPage.h"
#include "ui/SimplePlaybackPage.h"
#include "ui/SkeletonBuilderPage.h"

#include <QCheckBox>
#include <QFrame>
#include <QImage>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace duolo;
using namespace duolo::test;

namespace {

// What the view shows now: its framebuffer read back as it is, without drawing it again.
QImage shownPicture(GlView* view)
{
    view->makeCurrent();
    const qreal ratio = view->devicePixelRatioF();
    QImage image(static_cast<int>(view->width() * ratio), static_cast<int>(view->height() * ratio),
                 QImage::Format_RGBA8888);
    glReadPixels(0, 0, image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    view->doneCurrent();
    return image.mirrored().convertToFormat(QImage::Format_RGB32);
}

// Runs `action`, one pass of the render loop and the repaints it asked for. Returns how many
// times the view drew, after checking that the picture shown is the one a repaint now draws.
int passAfter(PipelinePage* page, const std::function<void()>& action)
{
    action();
    const long before = page->view()->paintCount();
    page->tick();
    QTest::qWait(25);
    const int painted = static_cast<int>(page->view()->paintCount() - before);
    const QImage shown = shownPicture(page->view());
    const QImage redrawn = page->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    if (shown != redrawn) {
        qWarning("the picture shown is not the one a repaint draws");
        return -1;
    }
    return painted;
}

// A page that knows nothing of redrawing on demand.
class PlainPage : public PipelinePage {
public:
    explicit PlainPage(MainDialog& window) : PipelinePage(window)
    {
        auto* area = new QFrame(this);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(area);
        setViewArea(area, SceneLighting::Lit, nullptr);
    }
};

void openSample(ScriptedWindow& w, const TempDir& dir)
{
    openSampleOrTinySession(w, dir);
    w.window->openPage()->nextStepButton()->click();
    w.window->show();
}

// A second group beside the sample's (markers 0..11, heading and up vectors), so that the
// group number and "Show All Groups" change the picture.
void addSecondGroup(MotionCaptureSession& s)
{
    s.clearMarkerSelection();
    for (int i = 0; i < 12; ++i)
        s.selectMarker(i);
    Group* g = s.createGroup();
    QVERIFY(g);
    s.createHeadingVectorFor(0, 1, g->groupNumber);
    s.createUpVectorFor(0, 2, g->groupNumber);
    s.clearMarkerSelection();
    s.clearGroupSelection();
}

// The sample with a second group, at the pipeline stage that shows `kind`, on its tab.
void openOnPage(ScriptedWindow& w, PageKind kind)
{
    QVERIFY(w.window->openProject(samplePath("sample.dwz")));
    addSecondGroup(w.window->session());
    w.window->goToNextStep(0);
    w.window->goToNextStep(2);
    w.window->goToNextStep(3);
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    w.window->tabs()->setCurrentIndex(static_cast<int>(kind));
}

} // namespace

class RedrawTest : public QObject {
    Q_OBJECT
private slots:
    void simplePlaybackRepaintsWhenItsPictureChangesOnly()
    {
        TempDir dir;
        ScriptedWindow w;
        openSample(w, dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.window->tabs()->setCurrentIndex(1);
        auto* page = static_cast<SimplePlaybackPage*>(w.window->page(PageKind::SimplePlayback));
        page->stopFrameTimer();
        QVERIFY(page->redrawsOnDemand());
        QTest::qWait(50);
        const auto nothing = [] {};

        for (int i = 0; i < 3; ++i)
            QCOMPARE(passAfter(page, nothing), 0);
        page->spinSlider()->setValue(4);  // held away from the middle: turns on every pass
        for (int i = 0; i < 3; ++i)
            QCOMPARE(passAfter(page, nothing), 1);
        page->spinSlider()->setValue(0);
        QCOMPARE(passAfter(page, nothing), 0);
        QCOMPARE(passAfter(page, [&] { page->play(); }), 1);
        QCOMPARE(passAfter(page, nothing), 1);
        QCOMPARE(passAfter(page, [&] { page->pause(); }), 0);
        QCOMPARE(passAfter(page, [&] { page->frameForward(); }), 1);
        QCOMPARE(passAfter(page, [&] { page->seekFrame(20); }), 1);
        QCOMPARE(passAfter(page, [&] { page->stepRadius(3); }), 1);
        QCOMPARE(passAfter(page, [&] { page->stepPatches(-2); }), 1);
        QCOMPARE(passAfter(page, [&] { page->showSkeletonBox()->setChecked(false); }), 1);
        QCOMPARE(passAfter(page, [&] { page->showGroupedBox()->setChecked(false); }), 1);
        QCOMPARE(passAfter(page, nothing), 0);

        // A resize repaints by itself (once the window system has resized the window).
        const long before = page->view()->paintCount();
        const QSize viewSize = page->view()->size();
        w.window->resize(1100, 760);
        QTRY_VERIFY(page->view()->size() != viewSize && page->view()->paintCount() > before);
        QCOMPARE(passAfter(page, nothing), 0);
    }

    void theBuilderRepaintsForSelectionsAndEdits()
    {
        TempDir dir;
        ScriptedWindow w;
        openSample(w, dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.window->tabs()->setCurrentIndex(2);
        auto* page = static_cast<SkeletonBuilderPage*>(w.window->page(PageKind::SkeletonBuilder));
        page->stopFrameTimer();
        QTest::qWait(50);
        const auto nothing = [] {};

        QCOMPARE(passAfter(page, nothing), 0);
        QCOMPARE(passAfter(page, [&] { page->markerList()->topLevelItem(1)->setSelected(true); }), 1);
        QCOMPARE(passAfter(page, [&] { page->markerList()->topLevelItem(2)->setSelected(true); }), 1);
        QCOMPARE(passAfter(page, nothing), 0);
        QCOMPARE(passAfter(page, [&] { page->createEdgeButton()->click(); }), 1);
        QCOMPARE(passAfter(page, [&] { page->mirrorMarkersButton()->click(); }), 1);  // counts unchanged
        QCOMPARE(passAfter(page, nothing), 0);
        page->turnSlider()->setValue(-3);
        QCOMPARE(passAfter(page, nothing), 1);
        page->turnSlider()->setValue(0);
        QCOMPARE(passAfter(page, nothing), 0);
    }

    void theDissectionPageRepaintsForJobsGroupsAndPlayback()
    {
        WorkerGate gate;
        ScriptedWindow w;
        openOnPage(w, PageKind::AnimationDissection);
        auto* page = static_cast<AnimationDissectionPage*>(w.window->page(PageKind::AnimationDissection));
        QVERIFY(page->redrawsOnDemand());
        QVERIFY(page->isBusy());  // the first visit measures the groups
        QVERIFY(page->job()->dialog()->isVisible());
        // The modal progress dialog is up: the page's own timer still turns and repaints the view.
        page->spinSlider()->setValue(5);
        const long before = page->view()->paintCount();
        QTRY_VERIFY(page->view()->paintCount() >= before + 3);
        page->spinSlider()->setValue(0);
        page->stopFrameTimer();
        QTest::qWait(50);
        const auto nothing = [] {};

        // Still under the dialog: a repaint for a turn, and only then.
        QCOMPARE(passAfter(page, nothing), 0);
        QCOMPARE(passAfter(page, [&] { page->spinSlider()->setValue(4); }), 1);
        QCOMPARE(passAfter(page, [&] { page->spinSlider()->setValue(0); }), 0);
        // The job's end builds the poses, which hides the heading and up arrows.
        gate.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 60000);
        QVERIFY(w.window->session().groups.front()->posesBuilt);
        QVERIFY(passAfter(page, nothing) >= 0);
        QCOMPARE(passAfter(page, nothing), 0);

        QCOMPARE(passAfter(page, [&] { page->play(); }), 1);
        QCOMPARE(passAfter(page, nothing), 1);
        QCOMPARE(passAfter(page, [&] { page->pause(); }), 1);
        QCOMPARE(passAfter(page, [&] { page->seekFrame(20); }), 1);
        QCOMPARE(passAfter(page, [&] { page->stepGroup(1); }), 1);
        QCOMPARE(passAfter(page, [&] { page->showAllGroupsBox()->setChecked(true); }), 1);
        QCOMPARE(passAfter(page, [&] { page->showAllGroupsBox()->setChecked(false); }), 1);
        QCOMPARE(passAfter(page, [&] { page->stepGroup(-1); }), 1);
        QCOMPARE(passAfter(page, nothing), 0);

        // A clip sent by hand, a whole graph and a distance map: each job ends in a repaint.
        page->setStart();
        page->seekFrame(40);
        page->setEnd();
        QCOMPARE(passAfter(page, [&] { page->sendToMotionGraph(); }), 1);
        for (auto job : {&AnimationDissectionPage::createEntireMotionGraph, &AnimationDissectionPage::showDistanceMap}) {
            (page->*job)();
            QTRY_VERIFY_WITH_TIMEOUT(!page->isBusy(), 60000);
            QVERIFY(passAfter(page, nothing) >= 0);
            QCOMPARE(passAfter(page, nothing), 0);
        }
        QVERIFY(w.window->session().groups.front()->graph->nodeCount() > 0);
        page->distanceMapWindow()->hide();
    }

    void theEditorPreviewRepaintsForItsOwnStateNotTheCanvas()
    {
        ScriptedWindow w;
        openOnPage(w, PageKind::MotionGraphEditor);
        auto* page = static_cast<MotionGraphEditorPage*>(w.window->page(PageKind::MotionGraphEditor));
        page->stopFrameTimer();
        QVERIFY(page->redrawsOnDemand());
        QTest::qWait(50);
        const auto nothing = [] {};
        QCOMPARE(passAfter(page, nothing), 0);

        Graph2D& graph = *page->currentGraph();
        Graph2DNode* a = graph.addNode(20, 22, 0.0, 0.0);
        Graph2DNode* b = graph.addNode(50, 51, 0.0, 0.0);
        a->translate(-10.0 - a->x, -a->y);
        b->translate(10.0 - b->x, -b->y);
        graph.deselectAll();
        graph.addEdge(a, b);
        const auto at = [&](double x, double y) {
            const CanvasPixel p = *page->graphView().toPixel(x, y);
            return QPoint(p.x + 2, p.y + 2);
        };
        QWidget* canvas = page->canvas();
        // Canvas-only changes leave the preview alone.
        QCOMPARE(passAfter(page, [&] { QTest::mouseMove(canvas, at(3.0, 3.0)); }), 0);
        QCOMPARE(passAfter(page, [&] { QTest::keyClick(canvas, Qt::Key_Minus); }), 0);
        // A selection chooses what the preview plays.
        QCOMPARE(passAfter(page, [&] { QTest::mouseClick(canvas, Qt::RightButton, {}, at(-10.0, 0.0)); }), 1);
        QCOMPARE(page->previewMode(), MotionGraphEditorPage::NodePreview);
        QCOMPARE(passAfter(page, [&] { QTest::mouseClick(canvas, Qt::RightButton, {}, at(0.0, 0.0)); }), 1);
        QCOMPARE(page->previewMode(), MotionGraphEditorPage::EdgePreview);
        QCOMPARE(passAfter(page, nothing), 0);

        QCOMPARE(passAfter(page, [&] { page->play(); }), 1);
        for (int i = 0; i < 4; ++i)  // across the jump from the source clip to the target
            QCOMPARE(passAfter(page, nothing), 1);
        QCOMPARE(passAfter(page, [&] { page->pause(); }), 1);
        QCOMPARE(passAfter(page, [&] { page->frameBack(); }), 1);
        QCOMPARE(passAfter(page, [&] { page->seekFrame(100); }), 1);
        QCOMPARE(passAfter(page, [&] { page->stepGroup(1); }), 1);
        QCOMPARE(passAfter(page, [&] { page->showAllGroupsBox()->setChecked(true); }), 1);
        QCOMPARE(passAfter(page, [&] { page->showAllGroupsBox()->setChecked(false); }), 1);
        QCOMPARE(passAfter(page, [&] { page->moveToOrigin(); }), 1);
        QCOMPARE(passAfter(page, nothing), 0);
    }

    void aPageThatDoesNotOptInRepaintsOnEveryTick()
    {
        ScriptedWindow w;
        PlainPage page(*w.window);
        page.resize(320, 240);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.activate();
        page.stopFrameTimer();
        QVERIFY(!page.redrawsOnDemand());
        QTest::qWait(50);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(passAfter(&page, [] {}), 1);
        page.deactivate();
    }
};

#include "RedrawTest.moc"
QTEST_MAIN(RedrawTest)
