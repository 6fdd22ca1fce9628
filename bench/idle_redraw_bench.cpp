// Idle cost of the pages with a 3D view: the program's CPU time (all threads, OpenGL's
// included) while a page sits still, with its view repainting on every 40 ms tick and on
// demand. Needs a display; on a machine without one:
//
//   xvfb-run -a -s "-screen 0 1600x1200x24" build/bench/idle_redraw_bench [--seconds N]
//       [--mode every-tick|on-demand] [PROJECT.dwz]
//
// (--mode runs one way only, for measuring the display server's share beside it.)
// The window has its default size (1280 x 800) and shows the bundled sample project unless
// another is given. Pages: Simple Playback, Skeleton Builder, Animation Dissection (its groups
// measured and the first group's whole graph built first), the Motion Graph Editor on that
// graph and the graph playback page, paused.

#include "render/GlView.h"
#include "ui/AnimationDissectionPage.h"
#include "ui/MainDialog.h"
#include "ui/OpenSessionPage.h"
#include "ui/PipelinePage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Shows the dissection page once (which measures the groups) and builds the first group's
// whole graph there, so that the editor has a graph to show.
bool prepareLaterPages(duolo::MainDialog& window)
{
    const int tab = static_cast<int>(duolo::PageKind::AnimationDissection);
    window.tabs()->setCurrentIndex(tab);
    auto* page = qobject_cast<duolo::AnimationDissectionPage*>(window.tabs()->widget(tab));
    if (!page)
        return false;
    auto waitForJob = [page] {
        while (page->isBusy())
            runEventLoop(50);
    };
    waitForJob();
    page->createEntireMotionGraph();
    waitForJob();
    window.tabs()->setCurrentIndex(0);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QSurfaceFormat::setDefaultFormat(duolo::GlView::surfaceFormat());
    QApplication app(argc, argv);
    double seconds = 5.0;
    std::vector<bool> modes{true, false};  // every tick, then on demand
    QString project = QStringLiteral(DUOLO_SOURCE_DIR "/resources/sample/sample.dwz");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc)
            modes = {std::strcmp(argv[++i], "every-tick") == 0};
        else
            project = QString::fromLocal8Bit(argv[i]);
    }

    duolo::MainDialog window;
    if (!window.openProject(project))
        return 1;
    window.goToNextStep(0);
    window.goToNextStep(2);
    window.goToNextStep(3);
    window.show();
    runEventLoop(500);
    if (!duolo::GlView::isOpenGlAvailable()) {
        std::fprintf(stderr, "no OpenGL: the views are not created\n");
        return 1;
    }
    if (!prepareLaterPages(window)) {
        std::fprintf(stderr, "the dissection page is missing\n");
        return 1;
    }
    window.goToNextStep(4);

    std::printf("%-22s %-12s %12s %10s\n", "page", "repaints", "CPU % core", "paints/s");
    for (duolo::PageKind kind : {duolo::PageKind::SimplePlayback, duolo::PageKind::SkeletonBuilder,
                                 duolo::PageKind::AnimationDissection, duolo::PageKind::MotionGraphEditor,
                                 duolo::PageKind::GraphPlayback}) {
        const int tab = static_cast<int>(kind);
        for (bool everyTick : modes) {
            duolo::PipelinePage::setRedrawEveryTickForAll(everyTick);
            window.tabs()->setCurrentIndex(0);
            window.tabs()->setCurrentIndex(tab);
            runEventLoop(1000);  // the fresh view settles
            auto* page = qobject_cast<duolo::PipelinePage*>(window.tabs()->widget(tab));
            const long paintsBefore = page->view()->paintCount();
            const double cpuBefore = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            runEventLoop(static_cast<int>(seconds * 1000));
            const double elapsed = wall.nsecsElapsed() / 1e9;
            const double cpu = cpuSeconds() - cpuBefore;
            std::printf("%-22s %-12s %12.2f %10.1f\n", qPrintable(window.tabs()->tabText(tab)),
                        everyTick ? "every tick" : "on demand", 100.0 * cpu / elapsed,
                        (page->view()->paintCount() - paintsBefore) / elapsed);
            std::fflush(stdout);
        }
    }
    duolo::PipelinePage::setRedrawEveryTickForAll(false);
    return 0;
}
