#include "ui/PageFactory.h"

#include "ui/AnimationDissectionPage.h"
#include "ui/MotionGraphEditorPage.h"
#include "ui/OpenSessionPage.h"
#include "ui/PlaceholderPage.h"
#include "ui/SimplePlaybackPage.h"
#include "ui/SkeletonBuilderPage.h"

#include <QObject>

namespace duolo {

QString tabLabel(PageKind kind)
{
    switch (kind) {
    case PageKind::OpenSession: return QStringLiteral("Open MoCap Session");
    case PageKind::SimplePlayback: return QStringLiteral("Simple Playback");
    case PageKind::SkeletonBuilder: return QStringLiteral("Skeleton Builder");
    case PageKind::AnimationDissection: return QStringLiteral("Animation Dissection");
    case PageKind::MotionGraphEditor: return QStringLiteral("Motion Graph Editor");
    case PageKind::GraphPlayback: return QStringLiteral("Duolo MG Playback");
    }
    return {};
}

int stageOfPage(PageKind kind)
{
    switch (kind) {
    case PageKind::OpenSession: return 0;
    case PageKind::SimplePlayback:
    case PageKind::SkeletonBuilder: return 1;
    case PageKind::AnimationDissection: return 2;
    case PageKind::MotionGraphEditor: return 3;
    case PageKind::GraphPlayback: return 4;
    }
    return 0;
}

PipelinePage* createPage(PageKind kind, MainDialog& mainWindow)
{
    switch (kind) {
    case PageKind::OpenSession: return new OpenSessionPage(mainWindow);
    case PageKind::SimplePlayback: return new SimplePlaybackPage(mainWindow);
    // Later pages: a placeholder that still moves the pipeline on, until the page itself lands.
    case PageKind::SkeletonBuilder: return new SkeletonBuilderPage(mainWindow);
    case PageKind::AnimationDissection: return new AnimationDissectionPage(mainWindow);
    case PageKind::MotionGraphEditor: return new MotionGraphEditorPage(mainWindow);
    case PageKind::GraphPlayback: return new PlaceholderPage(mainWindow, kind, -1);
    }
    return nullptr;
}

} // namespace duolo
