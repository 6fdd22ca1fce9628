#pragma once

#include "support/TestSupport.h"
#include "ui/UserDialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

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
        std::vector<Error> errors;
        // Answers to "Save changes to the project?"; "Discard" once they run out.
        std::deque<SaveChoice> saveChoices;
        int saveQuestions = 0;
    };

    explicit ScriptedDialogs(std::shared_ptr<Script> script) : script_(std::move(script)) {}
    QStringList chooseMarkerFiles(QWidget*) override;
    QString chooseProjectToOpen(QWidget*) override;
    QString chooseProjectToSave(QWidget*) override;
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

} // namespace duolo::test
