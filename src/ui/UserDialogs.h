#pragma once

#include "capture/CaptureTake.h"

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;
class QWidget;

namespace duolo {

// The answer to "Save changes to the project?".
enum class SaveChoice { Save, Discard, Cancel };

// The modal questions and reports of the main window and its pages. The program shows Qt file
// dialogs and message boxes; tests put scripted answers in their place, so that no test ever
// waits on a modal window.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // Marker files to load, in the order the dialog reports them; empty on cancel.
    virtual QStringList chooseMarkerFiles(QWidget* parent) = 0;
    // An existing project file to open; empty on cancel.
    virtual QString chooseProjectToOpen(QWidget* parent) = 0;
    // A project file to save to (new or existing); empty on cancel.
    virtual QString chooseProjectToSave(QWidget* parent) = 0;
    // A TRC or C3D file (its extension decides) to export the recorded playback to; empty on
    // cancel.
    virtual QString chooseTrcToSave(QWidget* parent) = 0;
    // "Export Video": the seconds of playback to render (`seconds` holds the suggestion) and the
    // MP4 file to write; empty on cancel.
    virtual QString chooseVideoToSave(QWidget* parent, int& seconds) = 0;
    // A PNG file to save a view's picture to; empty on cancel.
    virtual QString choosePictureToSave(QWidget* parent) = 0;
    // How to read the capture files (C3D, TRC) about to be opened; false on cancel.
    virtual bool chooseCaptureImportOptions(QWidget* parent, CaptureImportOptions& options) = 0;
    // A failure the user must know about: a box with the title, the text and an OK button.
    virtual void showError(QWidget* parent, const QString& title, const QString& text) = 0;
    // "Save changes to the project?" with Save, Discard and Cancel.
    virtual SaveChoice askToSaveChanges(QWidget* parent) = 0;
    // A yes-or-no question before something is thrown away; true for yes. Scripted dialogs
    // answer yes unless they say otherwise.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& question)
    {
        (void)parent, (void)title, (void)question;
        return true;
    }
};

// The folder the file dialogs start in: the one a file was last chosen from (kept in the
// settings, so across runs), else the first-run folder (the bundled sample's), else the home
// folder. A remembered folder that no longer exists is passed over.
class DialogFolder {
public:
    DialogFolder(QSettings& settings, QString firstRunFolder);
    QString startFolder() const;
    // Remembers the folder of a chosen file.
    void remember(const QString& chosenFile);

private:
    QSettings& settings_;
    QString firstRunFolder_;
};

// Qt's file dialogs and message boxes. The dialogs start in the folder last used; that is
// kept in the application's settings, or in `settingsFile` (an INI file) when one is given.
class QtUserDialogs : public UserDialogs {
public:
    explicit QtUserDialogs(QString firstRunFolder = {}, QString settingsFile = {});
    ~QtUserDialogs() override;

    QStringList chooseMarkerFiles(QWidget* parent) override;
    QString chooseProjectToOpen(QWidget* parent) override;
    QString chooseProjectToSave(QWidget* parent) override;
    QString chooseTrcToSave(QWidget* parent) override;
    bool chooseCaptureImportOptions(QWidget* parent, CaptureImportOptions& options) override;
    QString choosePictureToSave(QWidget* parent) override;
    QString chooseVideoToSave(QWidget* parent, int& seconds) override;
    void showError(QWidget* parent, const QString& title, const QString& text) override;
    SaveChoice askToSaveChanges(QWidget* parent) override;
    bool confirm(QWidget* parent, const QString& title, const QString& question) override;

private:
    DialogFolder& folder();

    QString firstRunFolder_;
    QString settingsFile_;
    std::unique_ptr<QSettings> settings_;  // opened when a dialog first needs it
    std::unique_ptr<DialogFolder> folder_;
};

} // namespace duolo
