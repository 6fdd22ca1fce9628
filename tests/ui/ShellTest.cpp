// The program's shell: command-line files, the tap sound, and walking the pipeline by its pages'
// own "Go To Next Step" buttons.

#include "UiTestSupport.h"

#include "session/MotionCaptureSession.h"
#include "ui/CommandLine.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/TapSoundPlayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace duolo;
using namespace duolo::test;

namespace {

// Changes the current folder for one test.
class CurrentFolder {
public:
    explicit CurrentFolder(const QString& path) : previous_(QDir::currentPath()) { QDir::setCurrent(path); }
    ~CurrentFolder() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

QString tapSoundSource()
{
    return QString::fromStdString((sourceDir() / "resources" / "TapSound.wav").string());
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void markerFilesOnTheCommandLineAreLoaded()
    {
        TempDir dir;
        ScriptedWindow w;
        const QStringList files = writeTinySession(dir);
        openCommandLineFiles(*w.window, files);
        QCOMPARE(w.window->session().markerCount(), 4);
        QCOMPARE(w.window->openPage()->fileList()->topLevelItemCount(), 4);
        QCOMPARE(w.window->stage(), 0);
    }

    void aProjectMixedWithMarkerFilesOpensNothing()
    {
        TempDir dir;
        ScriptedWindow w;
        QStringList files = writeTinySession(dir);
        files << QStringLiteral("some.dwz");
        openCommandLineFiles(*w.window, files);
        QCOMPARE(w.window->session().markerCount(), 0);
        QCOMPARE(w.script->errors.size(), size_t(1));
    }

    void aMissingProjectOnTheCommandLineIsReported()
    {
        ScriptedWindow w;
        openCommandLineFiles(*w.window, {QStringLiteral("/nonexistent/project.dwz")});
        QCOMPARE(w.script->errors.size(), size_t(1));
        QVERIFY(w.script->errors[0].text.contains(QStringLiteral("project.dwz")));
        QCOMPARE(w.window->session().markerCount(), 0);
        QCOMPARE(w.window->stage(), 0);
    }

    void theTapIsTakenFromTheCurrentFolderFirst()
    {
        TempDir dir;
        const QString local = QString::fromStdString(dir.file("TapSound.wav").string());
        QVERIFY(QFile::copy(tapSoundSource(), local));
        CurrentFolder here(QString::fromStdString(dir.path().string()));
        TapSoundPlayer player;
        QCOMPARE(QFileInfo(player.samplePath()).canonicalFilePath(), QFileInfo(local).canonicalFilePath());
        player.play();  // audible or not, a play request is always safe
        player.play();
        QCOMPARE(player.playRequests(), 2);
    }

    void theTapFallsBackToTheCopyBesideTheProgram()
    {
        TempDir dir;
        CurrentFolder here(QString::fromStdString(dir.path().string()));
        const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/TapSound.wav");
        if (!QFile::exists(besideProgram))
            QSKIP("no tap sound beside the test program");
        TapSoundPlayer player;
        QCOMPARE(QFileInfo(player.samplePath()).canonicalFilePath(), QFileInfo(besideProgram).canonicalFilePath());
    }

    void thePagesButtonsWalkThePipeline()
    {
        TempDir dir;
        ScriptedWindow w;
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
        w.window->openPage()->nextStepButton()->click();
        for (int tab = 2; tab <= 4; ++tab) {
            QWidget* page = w.window->tabs()->widget(tab);
            auto* next = page->findChild<QPushButton*>(QStringLiteral("goToNextStep"));
            QVERIFY2(next, qPrintable(w.window->tabs()->tabText(tab)));
            next->click();
            if (tab == 3) {
                // The dissection page moves on only once every group has a graph, and this
                // session has no group at all.
                QCOMPARE(w.window->stage(), 2);
                w.window->goToNextStep(3);
            }
            QCOMPARE(w.window->stage(), tab);
        }
        QCOMPARE(w.window->tabs()->count(), 6);
    }
};

#include "ShellTest.moc"
QTEST_MAIN(ShellTest)
