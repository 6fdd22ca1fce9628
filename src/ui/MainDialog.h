#pragma once

#include "render/DisplayOptions.h"
#include "session/EditHistory.h"
#include "ui/PageFactory.h"
#include "ui/UserDialogs.h"

#include <QByteArray>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class QTabWidget;
class QToolButton;

namespace duolo {

class MotionCaptureSession;
class OpenSessionPage;
class PipelinePage;
class StatusStrip;
class TapSoundPlayer;

// The one window of the program, "Duolo Motion Graphs". It owns the session, the pages that
// exist, the display options shared by the 3D views and the tap sound, and leads the user
// through the pipeline: 0 no files, 1 raw session loaded, 2 skeleton built, 3 session dissected,
// 4 motion graph built. A stage's tabs and pages appear when the stage is reached and stay until
// the next reset.
class MainDialog : public QWidget {
    Q_OBJECT
public:
    // Null dialogs means Qt's file dialogs and message boxes.
    explicit MainDialog(std::unique_ptr<UserDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~MainDialog() override;

    MotionCaptureSession& session() { return *session_; }
    DisplayOptions& displayOptions() { return displayOptions_; }
    TapSoundPlayer& tapSound() { return *tapSound_; }
    UserDialogs& dialogs() { return *dialogs_; }
    int stage() const { return stage_; }
    int selectedTab() const { return selectedTab_; }
    const std::optional<QString>& projectPath() const { return projectPath_; }

    QTabWidget* tabs() const { return tabs_; }
    StatusStrip* statusStrip() const { return statusStrip_; }
    // The page of that kind, or null while its stage has not been reached.
    PipelinePage* page(PageKind kind) const { return pages_[static_cast<size_t>(kind)]; }
    OpenSessionPage* openPage() const;

    // A page's "Go To Next Step" after its own condition held. Page codes: 0 the open page,
    // 2 the skeleton builder, 3 the dissection page, 4 the editor; each advances only from the
    // stage that its page completes.
    void goToNextStep(int pageCode);
    // Back to stage 0: one tab, a new open page, a fresh empty session, no project path.
    void reset();

    // "Open Files": loads marker and capture files into the session and lists them; unreadable
    // files are reported together in one box, the gaps filled in each capture file one box each.
    void loadMarkerFiles(const QStringList& paths, const CaptureImportOptions& captureOptions = {});
    // "Open Project": reset, then read the project into the session and list its trajectories.
    // A project that cannot be read is reported and leaves the empty session of the reset.
    bool openProject(const QString& path);
    // Reads the session from the project path; false (after a report) when that fails.
    bool openProjectFile();
    // "Save Progress" (on every page): asks for a file name and saves the session there, with
    // its motion graphs in the graph file beside it.
    void saveProgress();
    // Saves to the given path; a failure is reported in a box naming the file and the reason.
    bool saveProgressTo(const QString& path);

    // Whether the session or its motion graphs differ from what was last opened or saved (a
    // fresh window's empty session counts as saved). What is compared is what a save would
    // write: every change that the project keeps, and every edit of a graph (nodes, edges,
    // their lists, the latest build), whichever page made it; not the frame shown, poses,
    // playback's cursors or the editor's view.
    bool hasUnsavedChanges() const;
    // Before work is dropped (closing the window, "Reset", "Open Project"): with unsaved
    // changes, asks "Save changes to the project?". True when the work may be dropped: nothing
    // to save, "Discard", or "Save" and the save succeeded (to the project's own file when it
    // has one, else to a file the user chooses).
    bool confirmDroppingChanges();

    // Undo and redo. A page brackets each edit: beginEdit() before it changes anything,
    // endEdit() after it; a step named `label` is recorded when the edit changed something.
    // Graphs: the edit changed graphs only; Everything: it may have changed the project.
    void beginEdit(EditHistory::Scope scope);
    void endEdit(EditHistory::Scope scope, const QString& label);
    void undo();
    void redo();
    const EditHistory& history() const { return history_; }
    QToolButton* undoButton() const { return undoButton_; }
    QToolButton* redoButton() const { return redoButton_; }

    static constexpr int kDefaultWidth = 1280;
    static constexpr int kDefaultHeight = 800;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void advance(int toStage);
    void createStagePages();
    void insertTabFor(PageKind kind);
    void onTabChanged(int index);
    void destroyPages();
    // Fingerprint of what a save of the session would write now.
    QByteArray sessionFingerprint() const;
    void rememberSessionAsSaved();
    void restoreFromHistory(bool undoing);
    void updateUndoButtons();
    void reportDroppedSteps();

    std::unique_ptr<UserDialogs> dialogs_;
    TapSoundPlayer* tapSound_;
    std::optional<QString> projectPath_;
    std::unique_ptr<MotionCaptureSession> session_;
    std::array<PipelinePage*, kPageKindCount> pages_{};
    int stage_ = 0;
    int selectedTab_ = 0;
    DisplayOptions displayOptions_;
    StatusStrip* statusStrip_;
    QTabWidget* tabs_;
    bool rebuildingTabs_ = false;
    QByteArray savedFingerprint_;
    EditHistory history_;
    QToolButton* undoButton_ = nullptr;
    QToolButton* redoButton_ = nullptr;
    bool droppedStepsReported_ = false;
};

} // namespace duolo
