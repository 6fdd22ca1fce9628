#pragma once

#include <QString>

namespace duolo {

class MainDialog;
class PipelinePage;

// The six pages of the pipeline; the tab of page p sits at index p once its stage is reached.
enum class PageKind {
    OpenSession = 0,
    SimplePlayback = 1,
    SkeletonBuilder = 2,
    AnimationDissection = 3,
    MotionGraphEditor = 4,
    GraphPlayback = 5,
};
inline constexpr int kPageKindCount = 6;

QString tabLabel(PageKind kind);
// The stage from which the page exists: 0 for the open page, 1 for simple playback and the
// skeleton builder, 2 to 4 for the later pages.
int stageOfPage(PageKind kind);

// Creates the page of the given kind for the main window (one place to plug each page in).
PipelinePage* createPage(PageKind kind, MainDialog& mainWindow);

} // namespace duolo
