// What a first-time user meets: the window staying put when the first 3D view opens, marker
// names that show their ends, one button size, a centred turn slider, words for a file that is
// not a project, file dialogs that start where the user was, and no work lost on closing.

#include "UiTestSupport.h"

#include "render/SpinSlider.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/PipelinePage.h"
#include "ui/SkeletonBuilderPage.h"
#include "ui/UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

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

    void longMarkerNamesKeepTheirEndsOnTheBuilderPage()
    {
        // Marker files deep in a folder tree, named by their absolute paths as "Open Files" does.
        TempDir dir;
        const QString deep = QString::fromStdString(dir.path().string()) +
                             QStringLiteral("/captures-of-the-second-session/walking-and-turning/take-01");
        QVERIFY(QDir().mkpath(deep));
        QStringList files;
        for (const QString& tiny : writeTinySession(dir)) {
            files << deep + QLatin1Char('/') + QFileInfo(tiny).fileName();
            QVERIFY(QFile::copy(tiny, files.back()));
        }
        ScriptedWindow w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        w.script->markerFiles.push_back(files);
        w.window->openPage()->openFilesButton()->click();
        w.window->openPage()->nextStepButton()->click();
        w.window->tabs()->setCurrentIndex(2);
        auto* page = static_cast<SkeletonBuilderPage*>(w.window->page(PageKind::SkeletonBuilder));
        QTreeWidget* list = page->markerList();
        QCOMPARE(list->textElideMode(), Qt::ElideLeft);
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            QCOMPARE(item->text(1), files[row]);  // the name itself stays whole
            QCOMPARE(item->toolTip(1), files[row]);
            const int width = list->visualItemRect(item).width() - list->columnWidth(0);
            QVERIFY(list->fontMetrics().horizontalAdvance(files[row]) > width);  // too long to show
            const QString shown = list->fontMetrics().elidedText(files[row], list->textElideMode(), width - 8);
            QVERIFY2(shown.endsWith(QStringLiteral("/marker%1.mov").arg(row)), qPrintable(shown));
        }


        // And every button of the page has one size.
        const QList<QPushButton*> buttons = page->findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 19);  // "Set Collider In Group" too
        for (const QPushButton* b : buttons)
            QVERIFY2(b->size() == buttons.front()->size(), qPrintable(b->text()));
    }

    void theTurnSliderIsDrawnFromItsMiddle()
    {
        SpinSlider slider;
        slider.resize(400, 44);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        const QColor highlight = slider.palette().color(QPalette::Active, QPalette::Highlight);
        // Columns painted in shades of the highlight colour: the band between the middle and the
        // handle (styles fill their groove with such shades).
        auto bandColumns = [&](int value) {
            slider.setValue(value);
            const QImage image = slider.grab().toImage();
            std::vector<int> columns;
            for (int x = 0; x < image.width(); ++x)
                for (int y = 0; y < image.height(); ++y)
                    if (const QColor c = image.pixelColor(x, y);
                        c.hsvSaturation() > 80 && std::abs(c.hsvHue() - highlight.hsvHue()) < 20) {
                        columns.push_back(x);
                        break;
                    }
            return columns;
        };
        QVERIFY(bandColumns(0).empty());  // at rest nothing is filled
        const int middle = slider.width() / 2;
        const std::vector<int> right = bandColumns(6);
        QVERIFY(right.size() > 50);
        QVERIFY(right.front() >= middle - 2);
        const std::vector<int> left = bandColumns(-6);
        QVERIFY(left.size() > 50);
        QVERIFY(left.back() <= middle + 2);
    }

    void aFileThatIsNotAProjectIsSaidToBeOneFirst()
    {
        TempDir dir;
        ScriptedWindow w;
        const auto notes = dir.write("notes.dwz", std::string("\x01\x00\x00\x00These are my notes, not a project.\n"));
        w.window->openProject(QString::fromStdString(notes.string()));
        QCOMPARE(w.script->errors.size(), size_t(1));
        const QString text = w.script->errors[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("\u201cnotes.dwz\u201d is not a Duolo Motion Graphs project, "
                                                "or it is damaged.\n\nDetails: ") +
                                 QString::fromStdString(notes.string()) + QStringLiteral(": ")),
                 qPrintable(text));

        // A file that is not there is reported as such, without the guess.
        w.window->openProject(QString::fromStdString(dir.file("gone.dwz").string()));
        QCOMPARE(w.script->errors.size(), size_t(2));
        QVERIFY(w.script->errors[1].text.contains(QStringLiteral("gone.dwz: cannot open")));
        QVERIFY(!w.script->errors[1].text.contains(QStringLiteral("not a Duolo")));
    }

    void closingAsksToSaveWorkThatWasNotSaved()
    {
        TempDir dir;
        ScriptedWindow w;
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QVERIFY(w.window->close());  // nothing done: nothing asked
        QCOMPARE(w.script->saveQuestions, 0);

        w.window->show();
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
        QVERIFY(w.window->hasUnsavedChanges());
        w.script->saveChoices = {SaveChoice::Cancel};
        QVERIFY(!w.window->close());
        QCOMPARE(w.script->saveQuestions, 1);
        QVERIFY(w.window->isVisible());
        QCOMPARE(w.window->session().markerCount(), 4);

        // "Save" without a project file asks for one; cancelling that keeps the window open.
        w.script->saveChoices = {SaveChoice::Save};
        QVERIFY(!w.window->close());
        QCOMPARE(w.script->saveQuestions, 2);
        const QString project = QString::fromStdString(dir.file("work.dwz").string());
        w.script->saveChoices = {SaveChoice::Save};
        w.script->projectsToSave.push_back(project);
        QVERIFY(w.window->close());
        QCOMPARE(w.script->saveQuestions, 3);
        std::string error;
        const auto saved = loadProject(project.toStdString(), error);
        QVERIFY2(saved, error.c_str());
        QCOMPARE(saved->markerCount(), 4);

        // Saved work is not asked about; a builder edit after opening is, and "Save" then
        // writes the project's own file.
        w.window->show();
        QVERIFY(!w.window->hasUnsavedChanges());
        QVERIFY(w.window->openProject(project));
        QVERIFY(!w.window->hasUnsavedChanges());
        w.window->session().selectMarker(0);  // a selection is not saved, so it is no change
        QVERIFY(!w.window->hasUnsavedChanges());
        QVERIFY(w.window->session().createGroup());
        QVERIFY(w.window->hasUnsavedChanges());
        w.script->saveChoices = {SaveChoice::Save};
        QVERIFY(w.window->close());
        QCOMPARE(w.script->saveQuestions, 4);
        QCOMPARE(loadProject(project.toStdString(), error)->groupCount(), 1);
    }

    void resetAndOpenProjectAskBeforeDroppingWork()
    {
        TempDir dir;
        ScriptedWindow w;
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
        w.script->saveChoices = {SaveChoice::Cancel, SaveChoice::Cancel, SaveChoice::Discard};
        w.script->projectsToOpen.push_back(samplePath("sample.dwz"));
        w.window->openPage()->resetButton()->click();
        w.window->openPage()->openProjectButton()->click();  // cancelled before asking for a file
        QCOMPARE(w.window->session().markerCount(), 4);
        QCOMPARE(w.script->projectsToOpen.size(), size_t(1));
        w.window->openPage()->resetButton()->click();
        flushDeletions();
        QCOMPARE(w.window->session().markerCount(), 0);
        QCOMPARE(w.script->saveQuestions, 3);
    }

    void fileDialogsStartWhereAFileWasLastChosen()
    {
        // Settings in a file of the test's own, never the user's.
        TempDir dir;
        const QString settingsFile = QString::fromStdString(dir.file("settings.ini").string());
        const QString sample = QString::fromStdString(sampleDir().string());
        const QString takes = QString::fromStdString(dir.path().string()) + QStringLiteral("/takes");
        QVERIFY(QDir().mkpath(takes));
        {
            QSettings settings(settingsFile, QSettings::IniFormat);
            DialogFolder folder(settings, sample);
            QCOMPARE(folder.startFolder(), sample);  // first run: the sample's folder
            folder.remember(takes + QStringLiteral("/walk.mov"));
            QCOMPARE(folder.startFolder(), takes);
        }
        {
            QSettings settings(settingsFile, QSettings::IniFormat);  // the next run
            DialogFolder folder(settings, sample);
            QCOMPARE(folder.startFolder(), takes);
            QVERIFY(QDir(takes).removeRecursively());
            QCOMPARE(folder.startFolder(), sample);  // gone: back to the sample
            DialogFolder nowhere(settings, QString());
            QCOMPARE(nowhere.startFolder(), QDir::homePath());
        }
    }
};

#include "FirstUseTest.moc"
QTEST_MAIN(FirstUseTest)
