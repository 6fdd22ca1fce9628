#include "ui/PlaceholderPage.h"

#include "session/MotionCaptureSession.h"
#include "ui/MainDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace duolo {

PlaceholderPage::PlaceholderPage(MainDialog& mainWindow, PageKind kind, int pageCode)
    : PipelinePage(mainWindow)
{
    auto* frame = new QGroupBox(tabLabel(kind), this);
    auto* grid = new QGridLayout(frame);
    auto* note = new QLabel(tr("This page is not available in this build."), frame);
    note->setAlignment(Qt::AlignCenter);
    grid->addWidget(note, 0, 0, 1, 2);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(0, 1);
    if (pageCode >= 0) {
        auto* next = new QPushButton(tr("Go To Next Step"), frame);
        next->setObjectName(QStringLiteral("goToNextStep"));
        next->setMinimumWidth(120);
        grid->addWidget(next, 1, 1);
        connect(next, &QPushButton::clicked, this, [this, pageCode] {
            // The skeleton stage needs every trajectory at the session's length.
            if (pageCode == 2 && !session().allTrajectoriesHaveFrameCount())
                return;
            this->mainWindow.goToNextStep(pageCode);
        });
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
}

} // namespace duolo
