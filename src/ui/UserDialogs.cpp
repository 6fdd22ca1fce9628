#include "ui/UserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace duolo {
namespace {

// Marker files and the capture files whose points become trajectories, in one filter.
const QString kMarkerFilter =
    QStringLiteral("Motion Capture Files (*.mov *.c3d *.trc);;Marker Files (*.mov);;C3D Files (*.c3d);;"
                   "TRC Files (*.trc);;All Files (*)");
const QString kOpenProjectFilter = QStringLiteral("Duolo Motion Graph Files (*.dwz);;All Files (*)");
const QString kSaveProjectFilter = QStringLiteral("Duolo Motion Graph File (*.dwz);;All Files (*)");

QStringList runDialog(QWidget* parent, QFileDialog::AcceptMode accept, QFileDialog::FileMode mode,
                      const QString& filter, const QString& suffix, const QString& caption)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    dialog.setDefaultSuffix(suffix);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

} // namespace

QStringList QtUserDialogs::chooseMarkerFiles(QWidget* parent)
{
    return runDialog(parent, QFileDialog::AcceptOpen, QFileDialog::ExistingFiles, kMarkerFilter,
                     QStringLiteral("mov"), QObject::tr("Open Files"));
}

QString QtUserDialogs::chooseProjectToOpen(QWidget* parent)
{
    const QStringList files = runDialog(parent, QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
                                        kOpenProjectFilter, QStringLiteral("dwz"), QObject::tr("Open Project"));
    return files.isEmpty() ? QString() : files.front();
}

QString QtUserDialogs::chooseProjectToSave(QWidget* parent)
{
    // A new project name must be accepted: the file is created by saving.
    const QStringList files = runDialog(parent, QFileDialog::AcceptSave, QFileDialog::AnyFile,
                                        kSaveProjectFilter, QStringLiteral("dwz"), QObject::tr("Save Progress"));
    return files.isEmpty() ? QString() : files.front();
}

void QtUserDialogs::showError(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

} // namespace duolo
