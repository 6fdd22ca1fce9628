// Opening the animation dissection page on a long take: how long until the page is
// interactive (the opening pass of poses and the largest frame distance done) and the longest
// gap between two of the page's repaints meanwhile, then the same for "Create Entire Motion
// Graph" and the distance map.
//
//   dissection_page_bench [--data DIR] [--frames N] [--no-build] [--no-map]
//
// The walking take from the shared data is repeated (forwards, then backwards) up to N frames
// (18,000 by default), as the motion graph benchmark does. Without the shared data it says so
// and exits 0. Run it under a display (xvfb-run with LIBGL_ALWAYS_SOFTWARE=1 will do).
#include "capture/MessageSink.h"
#include "motiongraph/LocomotionTake.h"
#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "ui/AnimationDissectionPage.h"
#include "ui/MainDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

using namespace duolo;

namespace {

class PrintingSink : public MessageSink {
public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
};

// Repeats the samples forwards, then backwards, up to `frames`.
void tile(AnimatedMarker& m, int frames)
{
    const std::vector<Marker> original = m.samples;
    const int n = static_cast<int>(original.size());
    if (n == 0 || frames <= n)
        return;
    m.samples.clear();
    m.samples.reserve(frames);
    for (int f = 0; f < frames; ++f) {
        const int round = f / n, k = f % n;
        m.samples.push_back(original[round % 2 == 0 ? k : n - 1 - k]);
    }
}

struct Gaps {
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longest = 0;
    qint64 longestAt = 0;  // when the longest gap ended
    int repaints = 0;
    void start()
    {
        clock.start();
        last = -1;
        longest = 0;
        repaints = 0;
    }
    void repainted()
    {
        const qint64 now = clock.elapsed();
        if (last >= 0 && now - last > longest) {
            longest = now - last;
            longestAt = now;
        }
        last = now;
        ++repaints;
    }
};

// Runs the event loop until the page has no job; returns the seconds it took.
double waitIdle(AnimationDissectionPage& page, Gaps& gaps)
{
    while (page.isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return gaps.clock.elapsed() / 1000.0;
}

void report(const char* what, double seconds, const Gaps& gaps)
{
    std::printf("%s: %.2f s, %d repaints, longest gap between repaints %lld ms (ending at %.2f s)\n",
                what, seconds, gaps.repaints, static_cast<long long>(gaps.longest), gaps.longestAt / 1000.0);
}

} // namespace

int main(int argc, char** argv)
{
    std::string data = DUOLO_SHARED_DATA_DIR "/hdm05_mm_locomotion";
    int frames = 18000;
    bool build = true, map = true;
    for (int a = 1; a < argc; ++a) {
        if (!std::strcmp(argv[a], "--data") && a + 1 < argc) data = argv[++a];
        else if (!std::strcmp(argv[a], "--frames") && a + 1 < argc) frames = std::atoi(argv[++a]);
        else if (!std::strcmp(argv[a], "--no-build")) build = false;
        else if (!std::strcmp(argv[a], "--no-map")) map = false;
        else {
            std::fprintf(stderr, "usage: dissection_page_bench [--data DIR] [--frames N] [--no-build] [--no-map]\n");
            return 2;
        }
    }
    if (!std::filesystem::is_directory(data)) {
        std::printf("skipped: the shared walking take is not at %s\n", data.c_str());
        return 0;
    }

    QApplication app(argc, argv);
    PrintingSink sink;
    setMessageSink(&sink);
    MainDialog window;
    MotionCaptureSession& session = window.session();
    std::string error;
    Group* group = test::buildLocomotionGroup(session, data, &error);
    if (!group) {
        std::fprintf(stderr, "dissection_page_bench: %s\n", error.c_str());
        return 1;
    }
    // The page builds the poses itself: start from the trajectories alone, repeated.
    for (auto& m : session.markers)
        tile(*m, frames);
    for (AnimatedMarker* m : group->ownTrajectories())
        tile(*m, frames);
    session.frameCount = std::max(session.frameCount, frames);
    group->frameCount = session.frameCount;
    group->normalisedPoses.clear();
    group->worldPoses.clear();
    group->posesBuilt = false;
    group->maxFrameDistance = 0.0;
    std::printf("frames: %d, members: %d, threads: %d\n", group->frameCount, group->memberCount(),
                QThread::idealThreadCount());

    window.goToNextStep(0);
    window.goToNextStep(2);
    auto* page = qobject_cast<AnimationDissectionPage*>(window.page(PageKind::AnimationDissection));
    window.show();
    Gaps gaps;
    QObject::connect(page, &AnimationDissectionPage::frameAdvanced, [&] { gaps.repainted(); });
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();

    gaps.start();
    window.tabs()->setCurrentIndex(static_cast<int>(PageKind::AnimationDissection));
    report("opening (poses and largest distance)", waitIdle(*page, gaps), gaps);
    std::printf("largest distance %.6g, threshold %d\n", group->maxFrameDistance, page->threshold());

    // The same page with nothing running, for comparison on this machine.
    gaps.start();
    while (gaps.clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    report("idle, for comparison", gaps.clock.elapsed() / 1000.0, gaps);

    if (build) {
        gaps.start();
        page->findChild<QPushButton*>(QStringLiteral("createEntireMotionGraph"))->click();
        report("Create Entire Motion Graph", waitIdle(*page, gaps), gaps);
    }
    if (map) {
        gaps.start();
        page->findChild<QPushButton*>(QStringLiteral("distanceMap"))->click();
        report("distance map", waitIdle(*page, gaps), gaps);
    }
    return 0;
}
