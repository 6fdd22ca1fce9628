// The main window's pipeline of stages and tabs, and the open session page.

#include "UiTestSupport.h"

#include "support/C3dWriter.h"
#include "session/MotionCaptureSession.h"
#include "render/ValueBox.h"
#include "ui/CaptureImportDialog.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/SimplePlaybackPage.h"
#include "ui/StatusStrip.h"

#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <fstream>

using namespace duolo;
using namespace duolo::test;

namespace {

QStringList tabLabels(const MainDialog& window)
{
    QStringList labels;
    for (int i = 0; i < window.tabs()->count(); ++i)
        labels << window.tabs()->tabText(i);
    return labels;
}

QStringList listedNames(OpenSessionPage* page)
{
    QStringList names;
    for (int i = 0; i < page->fileList()->topLevelItemCount(); ++i)
        names << page->fileList()->topLevelItem(i)->text(0) + QLatin1Char(' ') +
                     page->fileList()->topLevelItem(i)->text(1);
    return names;
}

// Loads the tiny session through "Open Files" and advances to stage 1.
void loadAndAdvance(ScriptedWindow& w, const TempDir& dir)
{
    w.script->markerFiles.push_back(writeTinySession(dir));
    w.window->openPage()->openFilesButton()->click();
    w.window->openPage()->nextStepButton()->click();
}

} // namespace

class PipelineTest : public QObject {
    Q_OBJECT
private slots:
    void startsAtStageZeroWithOneTab()
    {
        ScriptedWindow w;
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Duolo Motion Graphs"));
        QCOMPARE(tabLabels(*w.window), QStringList{QStringLiteral("Open MoCap Session")});
        QCOMPARE(w.window->stage(), 0);
        QCOMPARE(w.window->statusStrip()->labelPane()->text(), QStringLiteral("STATUS:"));
        const ValueBox* stagePane = w.window->statusStrip()->stagePane();
        QCOMPARE(stagePane->text(), QStringLiteral("No Files Loaded"));
        QCOMPARE(stagePane->style().background, QColor(0, 0, 0));
        QCOMPARE(stagePane->style().text, QColor(Qt::white));
        QVERIFY(!w.window->projectPath());
        QVERIFY(w.window->page(PageKind::SimplePlayback) == nullptr);
    }

    void nextStepBeforeLoadingDoesNothing()
    {
        ScriptedWindow w;
        w.window->openPage()->nextStepButton()->click();
        QCOMPARE(w.window->stage(), 0);
        QCOMPARE(w.window->tabs()->count(), 1);
    }

    void openFilesListsBareNamesInDialogOrder()
    {
        TempDir dir;
        ScriptedWindow w;
        QStringList files = writeTinySession(dir);
        w.script->markerFiles.push_back({files[2], files[0], files[1]});
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(listedNames(w.window->openPage()),
                 (QStringList{"0 marker2.mov", "1 marker0.mov", "2 marker1.mov"}));
        QVERIFY(w.window->session().loaded);
        QCOMPARE(w.window->session().frameCount, 10);
        QVERIFY(w.script->errors.empty());
    }

    void openFilesAgainAppendsAndNumbersByPosition()
    {
        TempDir dir;
        ScriptedWindow w;
        const QStringList files = writeTinySession(dir);
        w.script->markerFiles.push_back({files[0], files[1]});
        w.script->markerFiles.push_back({files[3]});
        w.window->openPage()->openFilesButton()->click();
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(listedNames(w.window->openPage()),
                 (QStringList{"0 marker0.mov", "1 marker1.mov", "2 marker3.mov"}));
        QCOMPARE(w.window->session().markerCount(), 3);
    }

    void cancelledOpenFilesLoadsNothing()
    {
        ScriptedWindow w;
        w.window->openPage()->openFilesButton()->click();  // the script has no answer: cancel
        QCOMPARE(w.window->session().markerCount(), 0);
        QVERIFY(!w.window->session().loaded);
    }

    void unreadableMarkerFilesAreReportedInOneBox()
    {
        TempDir dir;
        ScriptedWindow w;
        const QStringList files = writeTinySession(dir);
        const QString missingA = QString::fromStdString(dir.file("missing-a.mov").string());
        const QString missingB = QString::fromStdString(dir.file("missing-b.mov").string());
        w.script->markerFiles.push_back({missingA, files[0], missingB});
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(w.script->errors.size(), size_t(1));
        QVERIFY(w.script->errors[0].text.contains(QStringLiteral("missing-a.mov")));
        QVERIFY(w.script->errors[0].text.contains(QStringLiteral("missing-b.mov")));
        QCOMPARE(listedNames(w.window->openPage()), QStringList{"0 marker0.mov"});
    }

    void captureFilesListTheirPointsAndReportTheirGaps()
    {
        TempDir dir;
        ScriptedWindow w;
        const QStringList files = writeTinySession(dir);
        C3dLayout s;
        s.points = 2;
        s.frames = 10;
        s.labels = {"head", "toe"};
        for (int f = 0; f < s.frames; ++f) {
            s.data.push_back({0, 0, 1700, 0});
            s.data.push_back({0, 0, f == 4 ? 0.0f : 30.0f, f == 4 ? -1.0f : 0.0f});
        }
        const auto c3d = dir.file("take.c3d");
        std::ofstream(c3d, std::ios::binary) << writeC3d(s);
        w.script->markerFiles.push_back({QString::fromStdString(c3d.string()), files[0]});
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(listedNames(w.window->openPage()), (QStringList{"0 head", "1 toe", "2 marker0.mov"}));
        QCOMPARE(w.script->errors.size(), size_t(1));
        QVERIFY(w.script->errors[0].text.startsWith(QStringLiteral("take.c3d: 1 of 2 points had gaps")));
        QCOMPARE(w.script->captureOptionQuestions, 1);
        QCOMPARE(w.window->session().markers[0]->samples[0].position.y, 17.0);

        // Marker files alone need no options; cancelled options load nothing; the user's axis
        // is taken as it stands.
        w.script->markerFiles.push_back({files[0]});
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(w.script->captureOptionQuestions, 1);
        w.script->captureOptions.reset();
        w.script->markerFiles.push_back({QString::fromStdString(c3d.string())});
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(w.window->session().markerCount(), 4);
        CaptureImportOptions down;
        down.up = VerticalAxis::MinusZ;
        w.script->captureOptions = down;
        w.script->markerFiles.push_back({QString::fromStdString(c3d.string())});
        w.window->openPage()->openFilesButton()->click();
        QCOMPARE(w.window->session().markerCount(), 6);
        QCOMPARE(w.window->session().markers[4]->samples[0].position.y, -17.0);
    }

    void captureOptionsAreRememberedForTheNextTime()
    {
        TempDir dir;
        QSettings settings(QString::fromStdString(dir.file("options.ini").string()), QSettings::IniFormat);
        {
            CaptureImportDialog first(settings);
            QVERIFY(!first.options().up && first.options().centimetresPerUnit == 0.0);  // automatic at first
            first.upBox()->setCurrentIndex(first.upBox()->findText(QStringLiteral("-Y")));
            first.unitsBox()->setCurrentIndex(first.unitsBox()->findText(QStringLiteral("m")));
            first.remember();
        }
        CaptureImportDialog again(settings);
        QVERIFY(again.options().up == VerticalAxis::MinusY);
        QCOMPARE(again.options().centimetresPerUnit, 100.0);
    }

    void advancingToStageOneKeepsTheOpenPageSelected()
    {
        TempDir dir;
        ScriptedWindow w;
        w.window->show();
        loadAndAdvance(w, dir);
        QCOMPARE(w.window->stage(), 1);
        QCOMPARE(tabLabels(*w.window), (QStringList{"Open MoCap Session", "Simple Playback", "Skeleton Builder"}));
        QCOMPARE(w.window->tabs()->currentIndex(), 0);
        QVERIFY(w.window->openPage()->isVisible());
        QVERIFY(!w.window->page(PageKind::SimplePlayback)->isVisible());
        QVERIFY(!w.window->page(PageKind::SimplePlayback)->isActive());
        const ValueBox* stagePane = w.window->statusStrip()->stagePane();
        QCOMPARE(stagePane->text(), QStringLiteral("Raw Motion Capture Session Loaded"));
        QCOMPARE(stagePane->style().background, QColor(0, 0, 212));
        QCOMPARE(stagePane->style().border, QColor(0, 0, 255));
    }

    void nextStepOnlyAdvancesFromTheStageItsPageCompletes()
    {
        TempDir dir;
        ScriptedWindow w;
        loadAndAdvance(w, dir);
        w.window->goToNextStep(0);  // the open page again at stage 1
        QCOMPARE(w.window->stage(), 1);
        w.window->goToNextStep(3);  // the dissection page's code at stage 1
        QCOMPARE(w.window->stage(), 1);
        w.window->goToNextStep(1);  // no page has code 1
        w.window->goToNextStep(7);
        QCOMPARE(w.window->stage(), 1);
        w.window->goToNextStep(2);
        QCOMPARE(w.window->stage(), 2);
        w.window->openPage()->nextStepButton()->click();  // open page at stage 2: nothing
        QCOMPARE(w.window->stage(), 2);
        QCOMPARE(w.window->tabs()->count(), 4);
        w.window->goToNextStep(3);
        w.window->goToNextStep(4);
        QCOMPARE(w.window->stage(), 4);
        QCOMPARE(tabLabels(*w.window),
                 (QStringList{"Open MoCap Session", "Simple Playback", "Skeleton Builder",
                              "Animation Dissection", "Motion Graph Editor", "Duolo MG Playback"}));
        QCOMPARE(w.window->statusStrip()->stagePane()->text(), QStringLiteral("Motion Graph Built"));
        QCOMPARE(w.window->statusStrip()->stagePane()->style().background, QColor(212, 212, 0));
        w.window->goToNextStep(4);  // nothing beyond the last stage
        QCOMPARE(w.window->stage(), 4);
        QCOMPARE(w.window->tabs()->count(), 6);
    }

    void stageTextsFollowTheStages()
    {
        QCOMPARE(StatusStrip::stageText(2), QStringLiteral("Skeleton Built"));
        QCOMPARE(StatusStrip::stageText(3), QStringLiteral("Motion Capture Session Dissected"));
    }

    void resetAtStageFourLeavesOneFreshTab()
    {
        TempDir dir;
        ScriptedWindow w;
        loadAndAdvance(w, dir);
        for (int code : {2, 3, 4})
            w.window->goToNextStep(code);
        w.window->tabs()->setCurrentIndex(1);
        QPointer<OpenSessionPage> oldOpen = w.window->openPage();
        QPointer<PipelinePage> oldPlayback = w.window->page(PageKind::SimplePlayback);
        w.window->openPage()->resetButton()->click();  // the page resets the window under itself
        flushDeletions();
        QVERIFY(oldOpen.isNull());
        QVERIFY(oldPlayback.isNull());
        QCOMPARE(w.window->stage(), 0);
        QCOMPARE(tabLabels(*w.window), QStringList{QStringLiteral("Open MoCap Session")});
        QVERIFY(w.window->openPage() != nullptr);
        QCOMPARE(w.window->openPage()->fileList()->topLevelItemCount(), 0);
        QCOMPARE(w.window->session().markerCount(), 0);
        QVERIFY(!w.window->session().loaded);
        QCOMPARE(w.window->statusStrip()->stagePane()->text(), QStringLiteral("No Files Loaded"));
        for (int k = 1; k < kPageKindCount; ++k)
            QVERIFY(w.window->page(static_cast<PageKind>(k)) == nullptr);
    }

    void selectingATabStopsAndHidesTheOthers()
    {
        TempDir dir;
        ScriptedWindow w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        loadAndAdvance(w, dir);
        auto* playback = static_cast<SimplePlaybackPage*>(w.window->page(PageKind::SimplePlayback));
        w.window->tabs()->setCurrentIndex(1);
        QVERIFY(playback->isActive());
        QVERIFY(playback->view() != nullptr);
        QCOMPARE(w.window->selectedTab(), 1);
        playback->play();
        QVERIFY(playback->isPlaying());
        w.window->tabs()->setCurrentIndex(2);
        QVERIFY(!playback->isPlaying());
        QVERIFY(!playback->isActive());
        QVERIFY(playback->view() == nullptr);
        QVERIFY(!playback->isVisible());
        QVERIFY(!w.window->openPage()->isVisible());
        QVERIFY(w.window->page(PageKind::SkeletonBuilder)->isVisible());
    }

    void savingToAnUnwritablePlaceIsReported()
    {
        ScriptedWindow w;
        const QString path = QStringLiteral("/nonexistent-folder/new.dwz");
        w.script->projectsToSave.push_back(path);
        w.window->openPage()->saveProgressButton()->click();
        QCOMPARE(w.script->errors.size(), size_t(1));
        QVERIFY(w.script->errors[0].text.contains(path));
        QCOMPARE(w.window->projectPath().value_or(QString()), path);
    }

    void cancelledSaveChangesNothing()
    {
        ScriptedWindow w;
        w.window->saveProgress();
        QVERIFY(w.script->errors.empty());
        QVERIFY(!w.window->projectPath());
    }

    void aProjectThatFailsToLoadLeavesAnEmptySessionAtStageZero()
    {
        TempDir dir;
        ScriptedWindow w;
        loadAndAdvance(w, dir);
        const auto bad = dir.write("broken.dwz", "this is not a project");
        w.script->projectsToOpen.push_back(QString::fromStdString(bad.string()));
        w.window->openPage()->openProjectButton()->click();
        flushDeletions();
        QCOMPARE(w.script->errors.size(), size_t(1));
        QVERIFY(w.script->errors[0].text.contains(QStringLiteral("broken.dwz")));
        QCOMPARE(w.window->stage(), 0);
        QCOMPARE(w.window->tabs()->count(), 1);
        QCOMPARE(w.window->session().markerCount(), 0);
        QCOMPARE(w.window->openPage()->fileList()->topLevelItemCount(), 0);
    }

    void openingTheSampleProjectListsItsTrajectories()
    {
        const QString sample = samplePath("sample.dwz");
        if (!QFile::exists(sample))
            QSKIP("the sample project is not in this checkout yet");
        ScriptedWindow w;
        w.script->projectsToOpen.push_back(sample);
        w.window->openPage()->openProjectButton()->click();
        flushDeletions();
        QVERIFY2(w.script->errors.empty(), qPrintable(w.script->errors.empty() ? QString() : w.script->errors[0].text));
        QCOMPARE(w.window->stage(), 0);
        QVERIFY(w.window->session().markerCount() > 0);
        QCOMPARE(w.window->openPage()->fileList()->topLevelItemCount(), w.window->session().markerCount());
        QCOMPARE(w.window->projectPath().value_or(QString()), sample);
        // Centroids have no folder in their names: the whole name is listed.
        const auto& markers = w.window->session().markers;
        for (size_t i = 0; i < markers.size(); ++i) {
            const QString name = QString::fromStdString(markers[i]->name);
            const QString listed = w.window->openPage()->fileList()->topLevelItem(int(i))->text(1);
            if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')))
                QCOMPARE(listed, name);
            else
                QVERIFY(name.endsWith(listed));
        }
        w.window->openPage()->nextStepButton()->click();
        QCOMPARE(w.window->stage(), 1);
    }
};

#include "PipelineTest.moc"
QTEST_MAIN(PipelineTest)
