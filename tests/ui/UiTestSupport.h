#pragma once

#include "support/TestSupport.h"
#include "ui/BackgroundJob.h"
#include "ui/UserDialogs.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

namespace duolo {
class MainDialog;
}

namespace duolo::test {

// Answers the main window's dialogs from a script and records every error box, so that no test
// ever waits on a modal window.
class ScriptedDialogs : public UserDialogs {
public:
    struct Error {
        QString title;
        QString text;
    };
    struct Script {
        std::deque<QStringList> markerFiles;
        std::deque<QString> projectsToOpen;
        std::deque<QString> projectsToSave;
        std::deque<QString> trcFilesToSave;
        std::deque<QString> picturesToSave;
        std::deque<std::pair<QString, int>> videosToSave;  // path and seconds
        // The answer to the capture file options; nothing: cancelled.
        std::optional<CaptureImportOptions> captureOptions = CaptureImportOptions{};
        int captureOptionQuestions = 0;
        std::vector<Error> errors;
        // Answers to "Save changes to the project?"; "Discard" once they run out.
        std::deque<SaveChoice> saveChoices;
        int saveQuestions = 0;
    };

    explicit ScriptedDialogs(std::shared_ptr<Script> script) : script_(std::move(script)) {}
    QStringList chooseMarkerFiles(QWidget*) override;
    QString chooseProjectToOpen(QWidget*) override;
    QString chooseProjectToSave(QWidget*) override;
    QString chooseTrcToSave(QWidget*) override;
    bool chooseCaptureImportOptions(QWidget*, CaptureImportOptions& options) override;
    QString choosePictureToSave(QWidget*) override;
    QString chooseVideoToSave(QWidget*, int& seconds) override;
    void showError(QWidget*, const QString& title, const QString& text) override;
    SaveChoice askToSaveChanges(QWidget*) override;

private:
    std::shared_ptr<Script> script_;
};

// A main window with scripted dialogs; the script stays reachable after the window takes it.
struct ScriptedWindow {
    ScriptedWindow();
    ~ScriptedWindow();
    std::shared_ptr<ScriptedDialogs::Script> script;
    std::unique_ptr<MainDialog> window;
};

// Writes a small capture of `frames` frames: four markers, the first standing on the floor
// (height 0.5, in contact), the others 4 to 6 units up and moving along x. Returns the paths in
// marker order.
QStringList writeTinySession(const TempDir& dir, int frames = 10);

// Runs the deferred deletions (pages replaced by a reset are deleted later).
void flushDeletions();

QString samplePath(const char* name);

// Opens the sample project, or where the checkout has none a tiny session written to `dir`.
void openSampleOrTinySession(ScriptedWindow& w, const TempDir& dir);

// Holds background jobs' workers back until opened, so that a test can press Cancel or leave
// the page while the job surely still runs.
struct WorkerGate {
    std::atomic<bool> open{false};
    WorkerGate()
    {
        BackgroundJob::workerGateForTesting() = [this] {
            while (!open.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        };
    }
    ~WorkerGate() { BackgroundJob::workerGateForTesting() = nullptr; }
};

} // namespace duolo::test
