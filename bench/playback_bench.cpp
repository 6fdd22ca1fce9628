// Ensemble playback benchmark: passes of the playing loop per second with both constraints on,
// for two and for eight bodies, and the heap allocations a pass makes once warm.
//
//   playback_bench [--data DIR] [--frames N] [--passes N] [--fraction F] [--gaps G]
//                  [--rotation-limit DEG] [--balance-tolerance X]
//
// Each body is the shared walking take's full-body group (as the graph tests build it) over its
// own window of N frames (body k starts 398 k frames into the take, wrapping round when
// the take is too short for that), with both feet as
// colliders; every body after the first has the first as parent, as a loaded project has. Graphs
// come from createEntireMotionGraph at F times each body's largest frame distance. Without the
// shared take the program says so and exits 0.
#include "capture/MessageSink.h"
#include "capture/Random.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "playback/EnsemblePlayer.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<uint64_t> allocations{0};

} // namespace

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace duolo;

namespace {

constexpr std::array<const char*, 41> kMarkers = {
    "LFHD", "RFHD", "LBHD", "RBHD", "C7",   "T10",  "CLAV", "STRN", "RBAC", "LSHO", "LUPA",
    "LELB", "LFRM", "LWRA", "LWRB", "LFIN", "RSHO", "RUPA", "RELB", "RFRM", "RWRA", "RWRB",
    "RFIN", "LFWT", "RFWT", "LBWT", "RBWT", "LTHI", "LKNE", "LSHN", "LANK", "LHEE", "LTOE",
    "LMT5", "RTHI", "RKNE", "RSHN", "RANK", "RHEE", "RTOE", "RMT5"};

struct Settings {
    std::filesystem::path data = std::filesystem::path(DUOLO_SHARED_DATA_DIR) / "hdm05_mm_locomotion";
    int frames = 1000;
    long passes = 200000;
    double fraction = 0.3;
    int gaps = 10;
    int rotationLimit = 60;
    double balanceTolerance = 10.0;
};

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int32_t number(const char* name)
{
    for (size_t i = 0; i < kMarkers.size(); ++i)
        if (std::strcmp(kMarkers[i], name) == 0)
            return static_cast<int32_t>(i);
    return -1;
}

// Keeps frames [start, start + frames) of the trajectory, renumbered from 0.
void window(AnimatedMarker& m, int start, int frames)
{
    std::vector<Marker> kept(m.samples.begin() + start, m.samples.begin() + start + frames);
    for (size_t i = 0; i < kept.size(); ++i) {
        kept[i].frame = static_cast<int32_t>(i);
        if (i == 0)
            kept[i].velocity = Vec3{};
    }
    m.samples = std::move(kept);
    m.current = 0;
}

// Adds one body: the take's markers over their window, three centroids, the group, its vectors
// and its two feet as colliders.
bool addBody(MotionCaptureSession& session, const Settings& s, int body)
{
    const int32_t first = session.markerCount();
    std::vector<std::string> paths;
    for (const char* name : kMarkers)
        paths.push_back((s.data / (std::string(name) + ".mov")).string());
    std::vector<std::string> errors;
    session.loadMarkers(paths, &errors);
    if (!errors.empty() || session.markerCount() != first + static_cast<int32_t>(kMarkers.size())) {
        std::fprintf(stderr, "playback_bench: %s\n", errors.empty() ? "cannot read the take" : errors.front().c_str());
        return false;
    }
    const int available = session.findMarker(first)->sampleCount();
    if (available < s.frames) {
        std::fprintf(stderr, "playback_bench: the take has only %d frames\n", available);
        return false;
    }
    const int start = (398 * body) % (available - s.frames + 1);
    for (int32_t i = first; i < session.markerCount(); ++i)
        window(*session.findMarker(i), start, s.frames);
    session.frameCount = s.frames;

    auto select = [&](std::initializer_list<const char*> names) {
        session.clearMarkerSelection();
        for (const char* name : names)
            session.selectMarker(first + number(name));
    };
    select({"LFWT", "RFWT", "LBWT", "RBWT"});
    const int32_t pelvis = session.createCentroid()->index;
    select({"LFWT", "RFWT"});
    const int32_t front = session.createCentroid()->index;
    select({"C7", "CLAV"});
    const int32_t chest = session.createCentroid()->index;
    session.clearMarkerSelection();
    for (int32_t i = first; i < session.markerCount(); ++i)
        session.selectMarker(i);
    Group* group = session.createGroup();
    session.createHeadingVectorFor(pelvis, front, group->groupNumber);
    session.createUpVectorFor(pelvis, chest, group->groupNumber);
    session.clearMarkerSelection();
    // Colliders can only be set on the first group's members through the builder; a body of its
    // own gets its feet marked directly, as adding them to the first group, setting them and
    // taking them out again would.
    for (auto foot : {std::array{"LTOE", "LHEE", "LMT5"}, std::array{"RTOE", "RHEE", "RMT5"}}) {
        for (const char* name : foot)
            session.findMarker(first + number(name))->colliderId = session.nextColliderId;
        ++session.nextColliderId;
    }
    return true;
}

bool run(const Settings& s, int bodies)
{
    MotionCaptureSession session;
    auto built = std::chrono::steady_clock::now();
    for (int b = 0; b < bodies; ++b)
        if (!addBody(session, s, b))
            return false;
    int nodes = 0, edges = 0;
    for (const auto& g : session.groups) {
        if (!buildPoses(*g)) {
            std::fprintf(stderr, "playback_bench: the poses cannot be built\n");
            return false;
        }
        computeMaxFrameDistance(*g);
        createEntireMotionGraph(*g, s.gaps, std::trunc(s.fraction * g->maxFrameDistance));
        nodes += g->graph->totalNodeCount();
        edges += g->graph->edgeCount();
    }
    const double setup = seconds(built);

    session.rotationConstraintOn = session.balanceConstraintOn = true;
    session.rotationLimit = s.rotationLimit;
    session.balanceTolerance = s.balanceTolerance;
    seedRandom(1);
    EnsemblePlayer player;
    const Ensemble ensemble = playbackEnsemble(session);
    player.runPass(ensemble);  // sizes the buffers

    const uint64_t before = allocations.load();
    auto start = std::chrono::steady_clock::now();
    const long passes = bodies > 2 ? s.passes / 4 : s.passes;
    for (long p = 0; p < passes; ++p)
        player.runPass(ensemble);
    const double elapsed = seconds(start);
    const uint64_t allocated = allocations.load() - before;

    const PlaybackCounters& c = player.counters();
    std::printf("%d bodies, %d frames each, %d nodes and %d edges in all (set-up %.1f s)\n", bodies, s.frames,
                nodes, edges, setup);
    std::printf("  %ld passes in %.3f s: %.0f passes/s, %.2f us/pass, %llu heap allocations\n", passes, elapsed,
                passes / elapsed, elapsed / passes * 1e6, static_cast<unsigned long long>(allocated));
    std::printf("  transitions %llu, candidates %llu, rejected %llu (rotation %llu, balance %llu), "
                "waived %llu, resets %llu\n",
                static_cast<unsigned long long>(c.transitions), static_cast<unsigned long long>(c.candidatesTested),
                static_cast<unsigned long long>(c.rejected), static_cast<unsigned long long>(c.rejectedByRotation),
                static_cast<unsigned long long>(c.rejectedByBalance), static_cast<unsigned long long>(c.waivedChoices),
                static_cast<unsigned long long>(c.resets));
    return allocated == 0;
}

// The graph builder announces the nodes of some groups; nobody reads that here.
class Silent : public MessageSink {
public:
    void showMessage(const std::string&) override {}
};

} // namespace

int main(int argc, char** argv)
{
    Silent silent;
    setMessageSink(&silent);
    Settings s;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--data")
            s.data = value;
        else if (key == "--frames")
            s.frames = std::atoi(value);
        else if (key == "--passes")
            s.passes = std::atol(value);
        else if (key == "--fraction")
            s.fraction = std::atof(value);
        else if (key == "--gaps")
            s.gaps = std::atoi(value);
        else if (key == "--rotation-limit")
            s.rotationLimit = std::atoi(value);
        else if (key == "--balance-tolerance")
            s.balanceTolerance = std::atof(value);
        else {
            std::fprintf(stderr, "playback_bench: unknown option %s\n", key.c_str());
            return 2;
        }
    }
    if (!std::filesystem::is_directory(s.data)) {
        std::printf("playback_bench: no shared take at %s, nothing to measure\n", s.data.string().c_str());
        return 0;
    }
    bool clean = true;
    for (int bodies : {2, 8})
        clean = run(s, bodies) && clean;
    return clean ? 0 : 1;
}
