// The simple playback page: playing, stepping, the frame slider, marker size and show options.

#include "UiTestSupport.h"

#include "session/MotionCaptureSession.h"
#include "render/SpinSlider.h"
#include "render/ValueBox.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/SimplePlaybackPage.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using namespace duolo;
using namespace duolo::test;

namespace {

// A window at stage 1 on the tiny session, showing the simple playback page.
struct PlaybackFixture {
    TempDir dir;
    ScriptedWindow w;
    SimplePlaybackPage* page = nullptr;

    explicit PlaybackFixture(int frames = 10)
    {
        w.script->markerFiles.push_back(writeTinySession(dir, frames));
        w.window->openPage()->openFilesButton()->click();
        w.window->openPage()->nextStepButton()->click();
        page = static_cast<SimplePlaybackPage*>(w.window->page(PageKind::SimplePlayback));
        w.window->tabs()->setCurrentIndex(1);
    }
    MotionCaptureSession& session() { return w.window->session(); }
};

} // namespace

class SimplePlaybackTest : public QObject {
    Q_OBJECT
private slots:
    void startsPausedAtFrameZeroWithDefaults()
    {
        PlaybackFixture f;
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.page->frameText(), QStringLiteral("0 / 9"));
        QCOMPARE(f.page->frameSlider()->maximum(), 9);
        QCOMPARE(f.page->radiusBox()->text(), QStringLiteral("0.3"));
        QCOMPARE(f.page->patchesBox()->text(), QStringLiteral("8"));
        for (QCheckBox* box : {f.page->showUngroupedBox(), f.page->showGroupedBox(),
                               f.page->showSkeletonBox(), f.page->showHeadingBox()})
            QVERIFY(box->isChecked());
    }

    void playingStepsOneFramePerTickAndWraps()
    {
        PlaybackFixture f;
        f.page->play();
        for (int i = 0; i < 3; ++i)
            f.page->tick();
        QCOMPARE(f.session().currentFrame, 3);
        QCOMPARE(f.page->frameSlider()->value(), 3);
        QCOMPARE(f.page->frameText(), QStringLiteral("3 / 9"));
        for (int i = 0; i < 7; ++i)
            f.page->tick();
        QCOMPARE(f.session().currentFrame, 0);  // wrapped after the last frame
    }

    void playAgainStopsAndReturnsToFrameZero()
    {
        PlaybackFixture f;
        f.page->play();
        f.page->tick();
        f.page->tick();
        f.page->play();
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 0);
        QCOMPARE(f.page->frameText(), QStringLiteral("0 / 9"));
    }

    void pauseStopsAtTheCurrentFrame()
    {
        PlaybackFixture f;
        f.page->play();
        f.page->tick();
        f.page->tick();
        f.page->pause();
        f.page->tick();
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 2);
    }

    void frameButtonsStopPlaybackAndWrap()
    {
        PlaybackFixture f;
        f.page->play();
        f.page->frameBack();
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 9);  // back from frame 0 is the last frame
        QCOMPARE(f.page->frameText(), QStringLiteral("9 / 9"));
        f.page->frameForward();
        QCOMPARE(f.session().currentFrame, 0);  // forward from the last frame is frame 0
        f.page->frameForward();
        QCOMPARE(f.session().currentFrame, 1);
    }

    void draggingTheFrameSliderSeeksAndStops()
    {
        PlaybackFixture f;
        f.page->play();
        f.page->frameSlider()->setValue(6);
        QVERIFY(!f.page->isPlaying());
        QCOMPARE(f.session().currentFrame, 6);
        QCOMPARE(f.page->frameText(), QStringLiteral("6 / 9"));
        // Every ungrouped marker follows the frame.
        for (const auto& m : f.session().markers)
            QCOMPARE(m->current, 6);
    }

    void radiusStaysWithinItsRange()
    {
        PlaybackFixture f;
        for (int i = 0; i < 100; ++i)
            f.page->radiusSpinner()->upButton()->click();
        QCOMPARE(f.page->markerRadius(), 5.0);
        QCOMPARE(f.page->radiusBox()->text(), QStringLiteral("5.0"));
        for (int i = 0; i < 100; ++i)
            f.page->radiusSpinner()->downButton()->click();
        QCOMPARE(f.page->markerRadius(), 0.1);
        QCOMPARE(f.page->radiusBox()->text(), QStringLiteral("0.1"));
        f.page->stepRadius(+1);
        f.page->stepRadius(+1);
        QCOMPARE(f.page->radiusBox()->text(), QStringLiteral("0.3"));
    }

    void patchesStayWithinTheirRange()
    {
        PlaybackFixture f;
        for (int i = 0; i < 50; ++i)
            f.page->patchesSpinner()->upButton()->click();
        QCOMPARE(f.page->markerPatches(), 32);
        for (int i = 0; i < 50; ++i)
            f.page->patchesSpinner()->downButton()->click();
        QCOMPARE(f.page->markerPatches(), 4);
        QCOMPARE(f.page->patchesBox()->text(), QStringLiteral("4"));
        f.page->stepPatches(+1);
        QCOMPARE(f.page->patchesBox()->text(), QStringLiteral("5"));
    }

    void showBoxesAreTheSharedDisplayOptions()
    {
        PlaybackFixture f;
        f.page->showSkeletonBox()->click();
        QVERIFY(!f.w.window->displayOptions().showSkeleton);
        f.page->showUngroupedBox()->click();
        QVERIFY(!f.w.window->displayOptions().showUngroupedMarkers);
        f.page->showSkeletonBox()->click();
        QVERIFY(f.w.window->displayOptions().showSkeleton);
    }

    void spinSliderSpringsBackAndTheSceneStaysTurned()
    {
        PlaybackFixture f;
        f.w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.window.get()));
        GlView* view = f.page->view();
        QVERIFY(view);
        QCOMPARE(view->viewYaw(), -90.0f);
        f.page->spinSlider()->setValue(5);
        QCOMPARE(view->spinSpeed(), 5);
        f.page->tick();
        f.page->tick();
        QCOMPARE(view->viewYaw(), -80.0f);
        emit f.page->spinSlider()->sliderReleased();
        QCOMPARE(f.page->spinSlider()->value(), 0);
        QCOMPARE(view->spinSpeed(), 0);
        f.page->tick();
        QCOMPARE(view->viewYaw(), -80.0f);
    }

    void clickingBesideTheSpinHandleLeavesNoTurn()
    {
        SpinSlider slider;
        slider.resize(200, 30);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(190, 15));
        QCOMPARE(slider.value(), 0);
        QTest::keyClick(&slider, Qt::Key_Right);
        QCOMPARE(slider.value(), 0);
    }

    void aFreshViewOnEveryVisit()
    {
        PlaybackFixture f;
        f.w.window->show();
        f.page->spinSlider()->setValue(10);
        f.page->tick();
        QCOMPARE(f.page->view()->viewYaw(), -80.0f);
        f.page->spinSlider()->setValue(0);
        f.w.window->tabs()->setCurrentIndex(0);
        QVERIFY(f.page->view() == nullptr);
        f.w.window->tabs()->setCurrentIndex(1);
        QVERIFY(f.page->view() != nullptr);
        QCOMPARE(f.page->view()->viewYaw(), -90.0f);
    }
};

#include "SimplePlaybackTest.moc"
QTEST_MAIN(SimplePlaybackTest)
