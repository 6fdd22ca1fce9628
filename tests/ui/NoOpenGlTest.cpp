// Without OpenGL the 3D view says so once and its page keeps working.

#include "UiTestSupport.h"

#include "session/MotionCaptureSession.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/SimplePlaybackPage.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "ui/GraphPlaybackPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace duolo;
using namespace duolo::test;

class NoOpenGlTest : public QObject {
    Q_OBJECT
private slots:
    void thePageKeepsWorkingAndTheUserIsToldOnce()
    {
        CapturedMessages messages;
        TempDir dir;
        ScriptedWindow w;
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
        w.window->openPage()->nextStepButton()->click();
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        auto* page = static_cast<SimplePlaybackPage*>(w.window->page(PageKind::SimplePlayback));
        for (int visit = 0; visit < 2; ++visit) {
            w.window->tabs()->setCurrentIndex(1);
            QVERIFY(page->view() == nullptr);
            page->play();
            for (int i = 0; i < 3; ++i) {
                page->tick();
                QTest::qWait(PipelinePage::kFrameIntervalMs);
            }
            QVERIFY(w.window->session().currentFrame >= 3);  // the frame timer runs as well
            page->play();  // stop, back to frame 0
            w.window->tabs()->setCurrentIndex(0);
        }
        QCoreApplication::processEvents();
        QCOMPARE(messages.messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(messages.messages[0]).contains(QStringLiteral("OpenGL")));
    }

    void graphPlaybackPlaysWithoutAView()
    {
        CapturedMessages messages;
        ScriptedWindow w;
        w.window->openProject(samplePath("sample.dwz"));
        Group& group = *w.window->session().groups[0];
        buildPoses(group);
        createEntireMotionGraph(group, 10, 60.0);
        w.window->openPage()->nextStepButton()->click();
        for (int code : {2, 3, 4})
            w.window->goToNextStep(code);
        w.window->tabs()->setCurrentIndex(5);
        auto* page = static_cast<GraphPlaybackPage*>(w.window->page(PageKind::GraphPlayback));
        QVERIFY(page->view() == nullptr);
        page->showAllGroupsBox()->click();
        page->play();
        for (int i = 0; i < 5; ++i)
            page->tick();
        QCOMPARE(group.currentNode->currentFrame, 5);
        QCOMPARE(page->frameText(), QStringLiteral("5 / 399"));
    }
};

int main(int argc, char* argv[])
{
    // An X connection without any OpenGL integration.
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    NoOpenGlTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NoOpenGlTest.moc"
