#include "UiTestSupport.h"

#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QPushButton>

#include <sstream>

namespace duolo::test {

namespace {

// The next scripted answer, or an empty one (as from a cancelled dialog) when none is left.
template <class T>
T takeNext(std::deque<T>& answers)
{
    if (answers.empty())
        return {};
    T answer = answers.front();
    answers.pop_front();
    return answer;
}

} // namespace

QStringList ScriptedDialogs::chooseMarkerFiles(QWidget*) { return takeNext(script_->markerFiles); }

QString ScriptedDialogs::chooseProjectToOpen(QWidget*) { return takeNext(script_->projectsToOpen); }

QString ScriptedDialogs::chooseProjectToSave(QWidget*) { return takeNext(script_->projectsToSave); }

QString ScriptedDialogs::chooseTrcToSave(QWidget*) { return takeNext(script_->trcFilesToSave); }

QString ScriptedDialogs::chooseVideoToSave(QWidget*, int& seconds)
{
    const auto [path, chosen] = takeNext(script_->videosToSave);
    if (!path.isEmpty())
        seconds = chosen;
    return path;
}

QString ScriptedDialogs::choosePictureToSave(QWidget*) { return takeNext(script_->picturesToSave); }

bool ScriptedDialogs::chooseCaptureImportOptions(QWidget*, CaptureImportOptions& options)
{
    ++script_->captureOptionQuestions;
    if (!script_->captureOptions)
        return false;
    options = *script_->captureOptions;
    return true;
}

void ScriptedDialogs::showError(QWidget*, const QString& title, const QString& text)
{
    script_->errors.push_back({title, text});
}

SaveChoice ScriptedDialogs::askToSaveChanges(QWidget*)
{
    ++script_->saveQuestions;
    if (script_->saveChoices.empty())
        return SaveChoice::Discard;
    const SaveChoice choice = script_->saveChoices.front();
    script_->saveChoices.pop_front();
    return choice;
}

ScriptedWindow::ScriptedWindow() : script(std::make_shared<ScriptedDialogs::Script>())
{
    window = std::make_unique<MainDialog>(std::make_unique<ScriptedDialogs>(script));
}

ScriptedWindow::~ScriptedWindow()
{
    window.reset();
    flushDeletions();
}

QStringList writeTinySession(const TempDir& dir, int frames)
{
    // File columns are x, depth, height in tenths of scene units.
    const double heights[] = {5.0, 40.0, 50.0, 60.0};
    const double depths[] = {0.0, 20.0, -20.0, 0.0};
    QStringList paths;
    for (int m = 0; m < 4; ++m) {
        std::ostringstream text;
        for (int f = 0; f < frames; ++f)
            text << (m * 30.0 - 45.0 + f) << '\t' << depths[m] << '\t' << heights[m] << '\n';
        const auto path = dir.write("marker" + std::to_string(m) + ".mov", text.str());
        paths << QString::fromStdString(path.string());
    }
    return paths;
}

void flushDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString samplePath(const char* name)
{
    return QString::fromStdString((sampleDir() / name).string());
}

void openSampleOrTinySession(ScriptedWindow& w, const TempDir& dir)
{
    const QString sample = samplePath("sample.dwz");
    if (QFile::exists(sample)) {
        w.window->openProject(sample);
    } else {
        w.script->markerFiles.push_back(writeTinySession(dir));
        w.window->openPage()->openFilesButton()->click();
    }
}

} // namespace duolo::test
