#include "ui/MainDialog.h"

#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "ui/OpenSessionPage.h"
#include "ui/PipelinePage.h"
#include "ui/StatusStrip.h"
#include "ui/TapSoundPlayer.h"
#include "ui/UserDialogs.h"

#include <QCloseEvent>
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

    rebuildingTabs_ = true;
    createStagePages();
    rebuildingTabs_ = false;
    onTabChanged(tabs_->currentIndex());
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

void MainDialog::loadMarkerFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    std::vector<std::string> files;
    files.reserve(static_cast<size_t>(paths.size()));
    for (const QString& p : paths)
        files.push_back(localPath(p));
    std::vector<std::string> errors;
    std::vector<std::string> notices;
    session_->loadMarkers(files, &errors, &notices);
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
        dialogs_->showError(this, tr("Open Project"), QString::fromLocal8Bit(error.c_str()));
        return false;
    }
    session_ = std::move(loaded);
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
    return true;
}

void MainDialog::closeEvent(QCloseEvent* event)
{
    for (PipelinePage* page : pages_)
        if (page)
            page->deactivate();
    event->accept();
}

} // namespace duolo
