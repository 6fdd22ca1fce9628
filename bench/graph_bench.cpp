// Motion graph benchmark: the largest-distance pass and the whole graph build on the shared
// walking take, the straightforward scalar loops against the fast paths, side by side.
//
//   graph_bench [--data DIR] [--frames N] [--tile N] [--gaps G] [--threshold T] [--no-exact]
//
// --frames keeps the first N frames; --tile repeats the take (forwards, then backwards) up to
// N frames to make a long group. Prints seconds, the speed-up, nanoseconds per nominal
// marker-pair term (frames^2 x members, the nominal count of both loops) and whether both paths
// agree: the same largest distance to 1e-12 and the identical graph. Exit status 1 if not.
#include "session/MotionCaptureSession.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "motiongraph/PoseColumns.h"
#include "skeleton/Group.h"

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace duolo;

namespace {

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

struct BuildResult {
    double maxSeconds = 0.0;
    double graphSeconds = 0.0;
    double maxDistance = 0.0;
    std::vector<std::pair<int32_t, int32_t>> clips;
    std::vector<std::pair<int32_t, int32_t>> edges;
};

BuildResult run(Group& group, DistanceEngine engine, int gaps, double threshold)
{
    BuildResult r;
    auto start = std::chrono::steady_clock::now();
    computeMaxFrameDistance(group, engine);
    r.maxSeconds = seconds(start);
    r.maxDistance = group.maxFrameDistance;

    group.graph = std::make_unique<Graph2D>();
    start = std::chrono::steady_clock::now();
    createEntireMotionGraph(group, gaps, threshold, {engine, {}});
    r.graphSeconds = seconds(start);
    for (const Graph2DNode* n : group.graph->nodes)
        r.clips.emplace_back(n->startFrame, n->endFrame);
    for (const Graph2DEdge* e : group.graph->edges)
        r.edges.emplace_back(e->from->id, e->to->id);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    std::string data = DUOLO_SHARED_DATA_DIR "/hdm05_mm_locomotion";
    int frames = 0, tile = 0, gaps = 10;
    double threshold = 100.0;
    bool exact = true;
    for (int a = 1; a < argc; ++a) {
        auto next = [&] { return a + 1 < argc ? argv[++a] : (std::fprintf(stderr, "missing value\n"), std::exit(2), ""); };
        if (!std::strcmp(argv[a], "--data")) data = next();
        else if (!std::strcmp(argv[a], "--frames")) frames = std::atoi(next());
        else if (!std::strcmp(argv[a], "--tile")) tile = std::atoi(next());
        else if (!std::strcmp(argv[a], "--gaps")) gaps = std::atoi(next());
        else if (!std::strcmp(argv[a], "--threshold")) threshold = std::atof(next());
        else if (!std::strcmp(argv[a], "--no-exact")) exact = false;
        else {
            std::fprintf(stderr, "usage: graph_bench [--data DIR] [--frames N] [--tile N] [--gaps G] [--threshold T] [--no-exact]\n");
            return 2;
        }
    }

    auto loadStart = std::chrono::steady_clock::now();
    MotionCaptureSession session;
    std::string error;
    Group* group = test::buildLocomotionGroup(session, data, &error);
    if (!group) {
        std::fprintf(stderr, "graph_bench: %s\n", error.c_str());
        return 1;
    }
    if (frames > 0 && frames < group->frameCount) {
        group->normalisedPoses.resize(frames);
        group->frameCount = frames;
    }
    if (tile > group->frameCount) {
        const auto original = group->normalisedPoses;
        const int32_t n = static_cast<int32_t>(original.size());
        group->normalisedPoses.clear();
        for (int32_t f = 0; f < tile; ++f) {
            const int32_t round = f / n, k = f % n;
            group->normalisedPoses.push_back(original[round % 2 == 0 ? k : n - 1 - k]);
        }
        group->frameCount = tile;
    }
    // Only the normalised poses take part; drop the rest of the take to measure the graph.
    group->worldPoses.clear();
    group->worldPoses.shrink_to_fit();
    const double n = group->frameCount;
    const double members = group->memberCount();
    std::printf("take: %s\nframes: %d, members: %d, loaded in %.2f s, kernel: %s, threads: %u\n", data.c_str(),
                group->frameCount, group->memberCount(), seconds(loadStart), distanceRowIsa(),
                std::thread::hardware_concurrency());
    std::printf("gaps %d, threshold %g\n", gaps, threshold);
    const double terms = n * n * members;

    const BuildResult fast = run(*group, DistanceEngine::Fast, gaps, threshold);
    std::printf("fast:   max pass %.3f s (%.3f ns/term), graph %.3f s (%.3f ns/term), total %.3f s; max %.17g; "
                "%zu nodes, %zu edges\n",
                fast.maxSeconds, fast.maxSeconds * 1e9 / terms, fast.graphSeconds, fast.graphSeconds * 1e9 / terms,
                fast.maxSeconds + fast.graphSeconds, fast.maxDistance, fast.clips.size(), fast.edges.size());
    std::printf("peak memory after fast: %.0f MB\n", peakMegabytes());
    if (!exact)
        return 0;

    const BuildResult scalar = run(*group, DistanceEngine::Exact, gaps, threshold);
    std::printf("scalar: max pass %.3f s (%.3f ns/term), graph %.3f s (%.3f ns/term), total %.3f s; max %.17g; "
                "%zu nodes, %zu edges\n",
                scalar.maxSeconds, scalar.maxSeconds * 1e9 / terms, scalar.graphSeconds,
                scalar.graphSeconds * 1e9 / terms, scalar.maxSeconds + scalar.graphSeconds, scalar.maxDistance,
                scalar.clips.size(), scalar.edges.size());
    std::printf("speed-up: max pass %.1fx, graph %.1fx, whole run %.1fx\n", scalar.maxSeconds / fast.maxSeconds,
                scalar.graphSeconds / fast.graphSeconds,
                (scalar.maxSeconds + scalar.graphSeconds) / (fast.maxSeconds + fast.graphSeconds));
    const double relative = std::fabs(fast.maxDistance - scalar.maxDistance) / std::max(1e-300, std::fabs(scalar.maxDistance));
    const bool same = fast.clips == scalar.clips && fast.edges == scalar.edges;
    std::printf("agreement: max relative difference %.3g, identical graph: %s\n", relative, same ? "yes" : "NO");
    return same && relative <= 1e-12 ? 0 : 1;
}
