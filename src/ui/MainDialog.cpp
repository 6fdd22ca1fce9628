#include "ui/MainDialog.h"

#include "render/GlView.h"
#include "session/MotionCaptureSession.h"
#include "capture/MessageSink.h"
#include "session/GraphFile.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "ui/OpenSessionPage.h"
#include "ui/PipelinePage.h"
#include "ui/StatusStrip.h"
#include "ui/TapSoundPlayer.h"
#include "ui/UserDialogs.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace duolo {
namespace {

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The reader's report names the file and the exact fault ("a list of 26144 elements does not
// fit in the 28 bytes left ..."), which means nothing to someone who picked the wrong file.
// When the file itself could be read, the box says first, in words, what that means; the
// report follows as the detail. Files that could not be opened or read are reported as they are.
QString projectLoadFailureText(const QString& path, const std::string& error)
{
    const QString detail = QString::fromLocal8Bit(error.c_str());
    const std::string prefix = localPath(path) + ": ";
    if (error.rfind(prefix, 0) == 0) {
        const std::string_view problem = std::string_view(error).substr(prefix.size());
        if (problem.starts_with("cannot open:") || problem.starts_with("cannot read:"))
            return detail;
    }
    return QObject::tr("\u201c%1\u201d is not a Duolo Motion Graphs project, or it is damaged.\n\nDetails: %2")
        .arg(QFileInfo(path).fileName(), detail);
}

} // namespace

MainDialog::MainDialog(std::unique_ptr<UserDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtUserDialogs>())
{
    // The tap sound comes first, then the session, as the playback page relies on both.
    tapSound_ = new TapSoundPlayer(this);
    session_ = std::make_unique<MotionCaptureSession>();

    setWindowTitle(QStringLiteral("Duolo Motion Graphs"));
    statusStrip_ = new StatusStrip(this);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("pipelineTabs"));
    tabs_->setDocumentMode(false);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainDialog::onTabChanged);

    undoButton_ = new QToolButton(this);
    undoButton_->setObjectName(QStringLiteral("undoButton"));
    redoButton_ = new QToolButton(this);
    redoButton_->setObjectName(QStringLiteral("redoButton"));
    connect(undoButton_, &QToolButton::clicked, this, &MainDialog::undo);
    connect(redoButton_, &QToolButton::clicked, this, &MainDialog::redo);
    // From any page; a text field that has the focus keeps these keys for its own text.
    // One shortcut per key sequence: two for the same keys would be ambiguous and neither fire.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this), &QShortcut::activated, this, &MainDialog::undo);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &MainDialog::redo);

    auto* top = new QHBoxLayout;
    top->setSpacing(4);
    top->addWidget(statusStrip_, 1);
    top->addWidget(undoButton_);
    top->addWidget(redoButton_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(tabs_, 1);
    resize(kDefaultWidth, kDefaultHeight);
    // The 3D views of later pages must not make the window re-create itself (and move).
    GlView::prepareWindow(this);

    rebuildingTabs_ = true;
    createStagePages();
    rebuildingTabs_ = false;
    onTabChanged(tabs_->currentIndex());
    rememberSessionAsSaved();
    updateUndoButtons();
}

MainDialog::~MainDialog()
{
    delete tapSound_;
    tapSound_ = nullptr;
    // Pages first (in pipeline order), the session after them.
    rebuildingTabs_ = true;
    for (auto*& page : pages_) {
        if (!page)
            continue;
        page->deactivate();
        delete page;
        page = nullptr;
    }
    session_.reset();
}

OpenSessionPage* MainDialog::openPage() const
{
    return static_cast<OpenSessionPage*>(page(PageKind::OpenSession));
}

void MainDialog::insertTabFor(PageKind kind)
{
    const int index = static_cast<int>(kind);
    tabs_->insertTab(index, pages_[static_cast<size_t>(kind)], tabLabel(kind));
}

void MainDialog::createStagePages()
{
    for (int k = 0; k < kPageKindCount; ++k) {
        const auto kind = static_cast<PageKind>(k);
        if (stageOfPage(kind) != stage_ || pages_[static_cast<size_t>(k)])
            continue;
        pages_[static_cast<size_t>(k)] = createPage(kind, *this);
        insertTabFor(kind);
    }
}

void MainDialog::goToNextStep(int pageCode)
{
    int completes = -1;
    switch (pageCode) {
    case 0: completes = 0; break;
    case 2: completes = 1; break;
    case 3: completes = 2; break;
    case 4: completes = 3; break;
    default: return;
    }
    if (stage_ == completes)
        advance(completes + 1);
}

void MainDialog::advance(int toStage)
{
    stage_ = toStage;
    // New tabs go after the selected one, so the selection stays where it is.
    rebuildingTabs_ = true;
    createStagePages();
    rebuildingTabs_ = false;
    if (tabs_->currentIndex() != selectedTab_)
        tabs_->setCurrentIndex(selectedTab_);
    statusStrip_->showStage(stage_);
}

void MainDialog::destroyPages()
{
    for (auto*& page : pages_) {
        if (!page)
            continue;
        page->deactivate();
        page->hide();
        // A page may be resetting the window from one of its own buttons: delete it later.
        page->deleteLater();
        page = nullptr;
    }
}

void MainDialog::reset()
{
    rebuildingTabs_ = true;
    tabs_->clear();
    destroyPages();
    session_ = std::make_unique<MotionCaptureSession>();
    projectPath_.reset();
    displayOptions_ = DisplayOptions{};
    stage_ = 0;
    history_.clear();
    updateUndoButtons();
    rememberSessionAsSaved();
    createStagePages();
    rebuildingTabs_ = false;
    tabs_->setCurrentIndex(0);
    onTabChanged(0);
    statusStrip_->showStage(stage_);
}

void MainDialog::onTabChanged(int index)
{
    if (rebuildingTabs_)
        return;
    selectedTab_ = index;
    PipelinePage* current = index >= 0 ? qobject_cast<PipelinePage*>(tabs_->widget(index)) : nullptr;
    for (PipelinePage* page : pages_)
        if (page && page != current)
            page->deactivate();
    if (current)
        current->activate();
    statusStrip_->showStage(stage_);
}

void MainDialog::loadMarkerFiles(const QStringList& paths, const CaptureImportOptions& captureOptions)
{
    if (paths.isEmpty())
        return;
    std::vector<std::string> files;
    files.reserve(static_cast<size_t>(paths.size()));
    for (const QString& p : paths)
        files.push_back(localPath(p));
    std::vector<std::string> errors;
    std::vector<std::string> notices;
    beginEdit(EditHistory::Scope::Everything);
    session_->loadMarkers(files, &errors, &notices, captureOptions);
    endEdit(EditHistory::Scope::Everything, tr("Open Files"));
    if (auto* open = openPage())
        open->refreshList();
    // What was filled or left out of each capture file, one box per file.
    for (const auto& notice : notices)
        dialogs_->showError(this, tr("Open Files"), QString::fromLocal8Bit(notice.c_str()));
    if (!errors.empty()) {
        QStringList lines;
        for (const auto& e : errors)
            lines << QString::fromLocal8Bit(e.c_str());
        dialogs_->showError(this, tr("Open Files"),
                            tr("These marker files could not be loaded:\n\n%1").arg(lines.join(QLatin1Char('\n'))));
    }
}

bool MainDialog::openProject(const QString& path)
{
    reset();
    projectPath_ = path;
    const bool opened = openProjectFile();
    if (auto* open = openPage())
        open->refreshList();
    return opened;
}

bool MainDialog::openProjectFile()
{
    if (!projectPath_)
        return false;
    std::string error;
    const std::string path = localPath(*projectPath_);
    std::vector<uint8_t> bytes;
    std::unique_ptr<MotionCaptureSession> loaded;
    if (readWholeFile(path, bytes, error))
        loaded = loadProjectBytes(bytes.data(), bytes.size(), path, error);
    if (!loaded) {
        dialogs_->showError(this, tr("Open Project"), projectLoadFailureText(*projectPath_, error));
        return false;
    }
    // The graphs saved beside the project come with it when they were made from this very file.
    const GraphFileOutcome graphs = loadGraphsFor(*loaded, path, bytes);
    session_ = std::move(loaded);
    history_.clear();
    updateUndoButtons();
    rememberSessionAsSaved();
    if (!graphs.message.empty())
        dialogs_->showError(this, tr("Open Project"), QString::fromLocal8Bit(graphs.message.c_str()));
    return true;
}

void MainDialog::saveProgress()
{
    const QString path = dialogs_->chooseProjectToSave(this);
    if (path.isEmpty())
        return;
    saveProgressTo(path);
}

bool MainDialog::saveProgressTo(const QString& path)
{
    projectPath_ = path;
    std::string error;
    if (!saveProjectWithGraphs(*session_, localPath(path), error)) {
        dialogs_->showError(this, tr("Save Progress"), QString::fromLocal8Bit(error.c_str()));
        return false;
    }
    rememberSessionAsSaved();
    return true;
}

QByteArray MainDialog::sessionFingerprint() const
{
    const SilencedMessages silence;
    try {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        auto add = [&hash](const std::vector<uint8_t>& bytes) {
            const quint64 size = bytes.size();
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
        };
        add(projectBytes(*session_));
        for (const auto& group : session_->groups)
            add(groupGraphBytes(*group));
        return hash.result();
    } catch (const std::exception&) {
        return {};  // a session that cannot be written: it never counts as saved
    }
}

void MainDialog::rememberSessionAsSaved()
{
    savedFingerprint_ = sessionFingerprint();
}

bool MainDialog::hasUnsavedChanges() const
{
    const QByteArray now = sessionFingerprint();
    return now.isEmpty() || now != savedFingerprint_;
}

bool MainDialog::confirmDroppingChanges()
{
    if (!hasUnsavedChanges())
        return true;
    switch (dialogs_->askToSaveChanges(this)) {
    case SaveChoice::Discard:
        return true;
    case SaveChoice::Cancel:
        return false;
    case SaveChoice::Save:
        break;
    }
    const QString path = projectPath_ ? *projectPath_ : dialogs_->chooseProjectToSave(this);
    return !path.isEmpty() && saveProgressTo(path);
}

void MainDialog::beginEdit(EditHistory::Scope scope)
{
    history_.prepare(*session_, scope);
}

void MainDialog::endEdit(EditHistory::Scope scope, const QString& label)
{
    if (history_.commit(*session_, scope, label.toStdString()))
        reportDroppedSteps();
    updateUndoButtons();
}

void MainDialog::undo() { restoreFromHistory(true); }
void MainDialog::redo() { restoreFromHistory(false); }

void MainDialog::restoreFromHistory(bool undoing)
{
    if (undoing ? !history_.canUndo() : !history_.canRedo())
        return;
    // The page shown lets go of the document while it changes, and looks at it afresh after.
    PipelinePage* shown = selectedTab_ >= 0 ? qobject_cast<PipelinePage*>(tabs_->widget(selectedTab_)) : nullptr;
    if (shown)
        shown->deactivate();
    EditHistory::Restored restored = undoing ? history_.undo(*session_) : history_.redo(*session_);
    const bool replaced = restored.replacement != nullptr;
    if (replaced)
        session_ = std::move(restored.replacement);
    for (PipelinePage* page : pages_)
        if (page)
            page->documentRestored(replaced);
    if (shown)
        shown->activate();
    updateUndoButtons();
    if (!restored.error.empty())
        dialogs_->showError(this, undoing ? tr("Undo") : tr("Redo"), QString::fromLocal8Bit(restored.error.c_str()));
}

void MainDialog::updateUndoButtons()
{
    auto show = [](QToolButton* button, const QString& verb, const std::string& label, const QString& keys) {
        button->setEnabled(!label.empty());
        button->setText(label.empty() ? verb : verb + QLatin1Char(' ') + QString::fromStdString(label));
        button->setToolTip(label.empty() ? tr("Nothing to %1 (%2)").arg(verb.toLower(), keys)
                                         : tr("%1 \u201c%2\u201d (%3)").arg(verb, QString::fromStdString(label), keys));
    };
    show(undoButton_, tr("Undo"), history_.undoLabel(), QStringLiteral("Ctrl+Z"));
    show(redoButton_, tr("Redo"), history_.redoLabel(), QStringLiteral("Ctrl+Shift+Z, Ctrl+Y"));
}

void MainDialog::reportDroppedSteps()
{
    const std::size_t dropped = history_.takeDroppedSteps();
    if (dropped == 0 || droppedStepsReported_)
        return;
    // Once a session: from here on the history simply keeps to its budget.
    droppedStepsReported_ = true;
    dialogs_->showError(this, tr("Undo"),
                        tr("The undo history is limited to %1 MB, so its oldest steps are dropped from now on; "
                           "the latest steps can still be undone.")
                            .arg(history_.memoryBudget() >> 20));
}

void MainDialog::closeEvent(QCloseEvent* event)
{
    if (!confirmDroppingChanges()) {
        event->ignore();
        return;
    }
    for (PipelinePage* page : pages_)
        if (page)
            page->deactivate();
    event->accept();
}

} // namespace duolo
