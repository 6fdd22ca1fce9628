#include "ui/UserDialogs.h"

#include "ui/CaptureImportDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QSettings>

namespace duolo {
namespace {

// Marker files and the capture files whose points become trajectories, in one filter.
const QString kMarkerFilter =
    QStringLiteral("Motion Capture Files (*.mov *.c3d *.trc);;Marker Files (*.mov);;C3D Files (*.c3d);;"
                   "TRC Files (*.trc);;All Files (*)");
const QString kOpenProjectFilter = QStringLiteral("Duolo Motion Graph Files (*.dwz);;All Files (*)");
const QString kSaveProjectFilter = QStringLiteral("Duolo Motion Graph File (*.dwz);;All Files (*)");
const QString kPictureFilter = QStringLiteral("PNG Pictures (*.png);;All Files (*)");
const QString kVideoFilter = QStringLiteral("MP4 Videos (*.mp4);;All Files (*)");
const QString kRecordingFilter = QStringLiteral("TRC Marker Files (*.trc);;C3D Files (*.c3d);;All Files (*)");

const QString kLastFolderKey = QStringLiteral("dialogs/lastFolder");

QStringList runDialog(QWidget* parent, DialogFolder& folder, QFileDialog::AcceptMode accept,
                      QFileDialog::FileMode mode, const QString& filter, const QString& suffix,
                      const QString& caption)
{
    QFileDialog dialog(parent, caption, folder.startFolder(), filter);
    dialog.setAcceptMode(accept);
    dialog.setFileMode(mode);
    dialog.setDefaultSuffix(suffix);
    // A name typed without an extension takes that of the file type chosen in the dialog.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& chosen) {
        const qsizetype star = chosen.indexOf(QStringLiteral("*."));
        if (star >= 0)
            dialog.setDefaultSuffix(chosen.mid(star + 2).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(')')));
    });
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    if (!files.isEmpty())
        folder.remember(files.front());
    return files;
}

} // namespace

DialogFolder::DialogFolder(QSettings& settings, QString firstRunFolder)
    : settings_(settings), firstRunFolder_(std::move(firstRunFolder))
{
}

QString DialogFolder::startFolder() const
{
    const QString last = settings_.value(kLastFolderKey).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    if (!firstRunFolder_.isEmpty() && QFileInfo(firstRunFolder_).isDir())
        return firstRunFolder_;
    return QDir::homePath();
}

void DialogFolder::remember(const QString& chosenFile)
{
    if (chosenFile.isEmpty())
        return;
    settings_.setValue(kLastFolderKey, QFileInfo(chosenFile).absolutePath());
}

QtUserDialogs::QtUserDialogs(QString firstRunFolder, QString settingsFile)
    : firstRunFolder_(std::move(firstRunFolder)), settingsFile_(std::move(settingsFile))
{
}

QtUserDialogs::~QtUserDialogs() = default;

DialogFolder& QtUserDialogs::folder()
{
    if (!folder_) {
        settings_ = settingsFile_.isEmpty() ? std::make_unique<QSettings>()
                                            : std::make_unique<QSettings>(settingsFile_, QSettings::IniFormat);
        folder_ = std::make_unique<DialogFolder>(*settings_, firstRunFolder_);
    }
    return *folder_;
}

QStringList QtUserDialogs::chooseMarkerFiles(QWidget* parent)
{
    return runDialog(parent, folder(), QFileDialog::AcceptOpen, QFileDialog::ExistingFiles, kMarkerFilter,
                     QStringLiteral("mov"), QObject::tr("Open Files"));
}

QString QtUserDialogs::chooseProjectToOpen(QWidget* parent)
{
    const QStringList files = runDialog(parent, folder(), QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
                                        kOpenProjectFilter, QStringLiteral("dwz"), QObject::tr("Open Project"));
    return files.isEmpty() ? QString() : files.front();
}

QString QtUserDialogs::chooseProjectToSave(QWidget* parent)
{
    // A new project name must be accepted: the file is created by saving.
    const QStringList files = runDialog(parent, folder(), QFileDialog::AcceptSave, QFileDialog::AnyFile,
                                        kSaveProjectFilter, QStringLiteral("dwz"), QObject::tr("Save Progress"));
    return files.isEmpty() ? QString() : files.front();
}

QString QtUserDialogs::chooseTrcToSave(QWidget* parent)
{
    const QStringList files = runDialog(parent, folder(), QFileDialog::AcceptSave, QFileDialog::AnyFile, kRecordingFilter,
                                        QStringLiteral("trc"), QObject::tr("Export"));
    return files.isEmpty() ? QString() : files.front();
}

QString QtUserDialogs::choosePictureToSave(QWidget* parent)
{
    const QStringList files = runDialog(parent, folder(), QFileDialog::AcceptSave, QFileDialog::AnyFile,
                                        kPictureFilter, QStringLiteral("png"), QObject::tr("Save Picture"));
    return files.isEmpty() ? QString() : files.front();
}

QString QtUserDialogs::chooseVideoToSave(QWidget* parent, int& seconds)
{
    bool ok = false;
    const int chosen = QInputDialog::getInt(parent, QObject::tr("Export Video"),
                                            QObject::tr("Seconds of playback to render:"), seconds, 1, 3600, 1, &ok);
    if (!ok)
        return {};
    const QStringList files = runDialog(parent, folder(), QFileDialog::AcceptSave, QFileDialog::AnyFile,
                                        kVideoFilter, QStringLiteral("mp4"), QObject::tr("Export Video"));
    if (files.isEmpty())
        return {};
    seconds = chosen;
    return files.front();
}

bool QtUserDialogs::chooseCaptureImportOptions(QWidget* parent, CaptureImportOptions& options)
{
    folder();  // opens the settings
    CaptureImportDialog dialog(*settings_, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options = dialog.options();
    return true;
}

void QtUserDialogs::showError(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

SaveChoice QtUserDialogs::askToSaveChanges(QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Duolo Motion Graphs"),
                    QObject::tr("Save changes to the project?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setInformativeText(QObject::tr("The session has changed since it was opened or last saved."));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveChoice::Save;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::Cancel;
    }
}

bool QtUserDialogs::confirm(QWidget* parent, const QString& title, const QString& question)
{
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

} // namespace duolo
