#include "ui/MainDialog.h"

#include "render/GlView.h"
#include "session/MotionCaptureSession.h"
#include "capture/MessageSink.h"
#include "session/ProjectFile.h"
#include "ui/OpenSessionPage.h"
#include "ui/PipelinePage.h"
#include "ui/StatusStrip.h"
#include "ui/TapSoundPlayer.h"
#include "ui/UserDialogs.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
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

// Keeps the model's messages to itself while alive: computing the bytes of a save must not
// show the notes that a real save shows.
class SilencedMessages : public MessageSink {
public:
    SilencedMessages() : previous_(setMessageSink(this)) {}
    ~SilencedMessages() override { setMessageSink(previous_); }
    void showMessage(const std::string&) override {}

private:
    MessageSink* previous_;
};

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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(statusStrip_);
    layout->addWidget(tabs_, 1);
    resize(kDefaultWidth, kDefaultHeight);
    // The 3D views of later pages must not make the window re-create itself (and move).
    GlView::prepareWindow(this);

    rebuildingTabs_ = true;
    createStagePages();
    rebuildingTabs_ = false;
    onTabChanged(tabs_->currentIndex());
    rememberSessionAsSaved();
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
    session_->loadMarkers(files, &errors, &notices, captureOptions);
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
    auto loaded = loadProject(localPath(*projectPath_), error);
    if (!loaded) {
        dialogs_->showError(this, tr("Open Project"), projectLoadFailureText(*projectPath_, error));
        return false;
    }
    session_ = std::move(loaded);
    rememberSessionAsSaved();
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
    if (!saveProject(*session_, localPath(path), error)) {
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
        const std::vector<uint8_t> bytes = projectBytes(*session_);
        return QCryptographicHash::hash(
            QByteArrayView(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())),
            QCryptographicHash::Sha256);
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
