// The 3D views repaint only when their picture may have changed, and then show what repainting
// on every tick would show.

#include "UiTestSupport.h"

#include "render/GlView.h"
#include "render/SpinSlider.h"
#include "session/MotionCaptureSession.h"
#include "ui/MainDialog.h"
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

#include <functional>

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
    const QString sample = samplePath("sample.dwz");
    if (QFile::exists(sample)) {
        w.window->openProject(sample);
    } else {
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
    }
    w.window->openPage()->nextStepButton()->click();
    w.window->show();
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
