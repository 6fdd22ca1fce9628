// What a first-time user meets: the window staying put when the first 3D view opens.

#include "UiTestSupport.h"

#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/PipelinePage.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace duolo;
using namespace duolo::test;

class FirstUseTest : public QObject {
    Q_OBJECT
private slots:
    void theWindowStaysPutWhenTheFirstViewOpens()
    {
        // Qt re-creating the native window is what moved it under a window manager (there is
        // none here, so the window's id is what tells).
        for (const Qt::WindowState state : {Qt::WindowNoState, Qt::WindowMaximized}) {
            TempDir dir;
            ScriptedWindow w;
            w.window->move(37, 41);
            w.window->setWindowState(state);
            w.window->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
            const WId nativeWindow = w.window->winId();
            const QRect geometry = w.window->geometry();
            w.script->markerFiles.push_back(writeTinySession(dir));
            w.window->openPage()->openFilesButton()->click();
            w.window->openPage()->nextStepButton()->click();
            for (int tab : {1, 2}) {
                w.window->tabs()->setCurrentIndex(tab);
                QVERIFY(w.window->page(PageKind(tab))->view() != nullptr);
                QTest::qWait(60);
                QCOMPARE(w.window->winId(), nativeWindow);
                QCOMPARE(w.window->geometry(), geometry);
                QCOMPARE(w.window->windowState(), state);
            }
        }
    }
};

#include "FirstUseTest.moc"
QTEST_MAIN(FirstUseTest)
