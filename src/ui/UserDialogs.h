#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace duolo {

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
    // A TRC marker file to export the recorded playback to; empty on cancel.
    virtual QString chooseTrcToSave(QWidget* parent) = 0;
    // A failure the user must know about: a box with the title, the text and an OK button.
    virtual void showError(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Qt's file dialogs and message boxes.
class QtUserDialogs : public UserDialogs {
public:
    QStringList chooseMarkerFiles(QWidget* parent) override;
    QString chooseProjectToOpen(QWidget* parent) override;
    QString chooseProjectToSave(QWidget* parent) override;
    QString chooseTrcToSave(QWidget* parent) override;
    void showError(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace duolo
