#include "ui/OpenSessionPage.h"

#include "capture/MarkerFile.h"
#include "capture/TextEncoding.h"
#include "session/MotionCaptureSession.h"
#include "ui/CaptureImportDialog.h"
#include "ui/MainDialog.h"
#include "ui/UserDialogs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace duolo {

OpenSessionPage::OpenSessionPage(MainDialog& mainWindow) : PipelinePage(mainWindow)
{
    auto* frame = new QGroupBox(tr("Open MoCap Session"), this);
    auto makeButton = [frame](const QString& caption, const QString& name, const QString& tip) {
        auto* button = new QPushButton(caption, frame);
        button->setObjectName(name);
        button->setToolTip(tip);
        button->setMinimumWidth(120);
        return button;
    };
    openFiles_ = makeButton(tr("Open Files"), QStringLiteral("openFiles"),
                            tr("Add marker files (*.mov) or capture files (*.c3d, *.trc) of a capture session"));
    openProject_ = makeButton(tr("Open Project"), QStringLiteral("openProject"),
                              tr("Start over with a saved project (*.dwz)"));
    reset_ = makeButton(tr("Reset"), QStringLiteral("reset"), tr("Start over with an empty session"));
    saveProgress_ = makeButton(tr("Save Progress"), QStringLiteral("saveProgress"),
                               tr("Save the session as a project file"));
    nextStep_ = makeButton(tr("Go To Next Step"), QStringLiteral("goToNextStep"),
                           tr("Go on to the skeleton builder once marker files are loaded"));

    fileList_ = new QTreeWidget(frame);
    fileList_->setObjectName(QStringLiteral("fileList"));
    fileList_->setRootIsDecorated(false);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileList_->setUniformRowHeights(true);
    fileList_->setHeaderLabels({tr("Joint #"), tr("File Name")});
    fileList_->headerItem()->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    fileList_->setColumnWidth(0, 70);
    fileList_->setColumnWidth(1, 200);
    fileList_->setMinimumWidth(320);
    fileList_->header()->setStretchLastSection(true);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(openFiles_);
    buttons->addWidget(openProject_);
    buttons->addWidget(reset_);
    buttons->addStretch(1);

    // Buttons on the left, the list in the middle third, save and next at the bottom right.
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(16, 24, 16, 12);
    grid->addLayout(buttons, 0, 0);
    grid->addWidget(fileList_, 0, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(0, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(saveProgress_);
    bottom->addWidget(nextStep_);
    grid->addLayout(bottom, 1, 0, 1, 4);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);

    connect(openFiles_, &QPushButton::clicked, this, &OpenSessionPage::openFiles);
    connect(openProject_, &QPushButton::clicked, this, &OpenSessionPage::openProject);
    connect(reset_, &QPushButton::clicked, this, [this] {
        if (this->mainWindow.confirmDroppingChanges())
            this->mainWindow.reset();
    });
    connect(saveProgress_, &QPushButton::clicked, this, [this] { this->mainWindow.saveProgress(); });
    connect(nextStep_, &QPushButton::clicked, this, &OpenSessionPage::goToNextStep);
}

void OpenSessionPage::refreshList()
{
    fileList_->clear();
    const auto& markers = session().markers;
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(markers.size()));
    for (size_t i = 0; i < markers.size(); ++i) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, QString::number(i));
        row->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        const std::string name = displayText(markers[i]->name);
        row->setText(1, QString::fromStdString(displayFileName(name)));
        row->setToolTip(1, QString::fromStdString(name));
        rows.push_back(row);
    }
    fileList_->addTopLevelItems(rows);
}

void OpenSessionPage::openFiles()
{
    const QStringList paths = mainWindow.dialogs().chooseMarkerFiles(this);
    if (paths.isEmpty())
        return;
    // Capture files may need the user's word on their vertical axis and units.
    CaptureImportOptions options;
    if (holdsCaptureFiles(paths) && !mainWindow.dialogs().chooseCaptureImportOptions(this, options))
        return;
    mainWindow.loadMarkerFiles(paths, options);
}

void OpenSessionPage::openProject()
{
    if (!mainWindow.confirmDroppingChanges())
        return;
    const QString path = mainWindow.dialogs().chooseProjectToOpen(this);
    if (!path.isEmpty())
        mainWindow.openProject(path);  // replaces this page with a fresh one
}

void OpenSessionPage::goToNextStep()
{
    if (session().loaded)
        mainWindow.goToNextStep(0);
}

} // namespace duolo
