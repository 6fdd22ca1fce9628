#pragma once

#include "ui/PipelinePage.h"

class QPushButton;
class QTreeWidget;

namespace duolo {

// Tab 0, "Open MoCap Session": choose the marker files of a session or reopen a project, see
// the trajectories listed, start over, save, and move on to the skeleton stage.
class OpenSessionPage : public PipelinePage {
    Q_OBJECT
public:
    explicit OpenSessionPage(MainDialog& mainWindow);

    // Lists every trajectory of the session: its position and the bare file name.
    void refreshList();
    void documentRestored(bool) override { refreshList(); }
    QTreeWidget* fileList() const { return fileList_; }

    QPushButton* openFilesButton() const { return openFiles_; }
    QPushButton* openProjectButton() const { return openProject_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* saveProgressButton() const { return saveProgress_; }
    QPushButton* nextStepButton() const { return nextStep_; }

private:
    void openFiles();
    void openProject();
    void goToNextStep();

    QTreeWidget* fileList_;
    QPushButton* openFiles_;
    QPushButton* openProject_;
    QPushButton* reset_;
    QPushButton* saveProgress_;
    QPushButton* nextStep_;
};

} // namespace duolo
