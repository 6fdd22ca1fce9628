// Motion graph benchmark: the largest-distance pass and the whole graph build on a shared take,
// the straightforward single-threaded scalar loops against the fast paths, side by side.
//
//   graph_bench [--take locomotion|dance] [--data DIR] [--frames N] [--tile N] [--even-speeds A]
//               [--gaps G] [--threshold T | --relative-threshold F] [--threads N]
//               [--exact-frames N] [--no-exact]
//
// --take picks the group: the walking take's full-body group (44 members) or the dance take's
// 40 markers with its root and head centroids (42 members).
// --frames keeps the first N frames; --tile repeats the take (forwards, then backwards) up to N
// frames to make a long group. --even-speeds A (0..1) pulls each joint's speed towards its
// frame's mean speed: the larger A, the more pairs have a target slower than its source in
// every joint, so the share of pairs that survive the speed test (and need the full
// evaluation) can be dialled. --relative-threshold takes the threshold as that
// fraction of the largest distance, rounded down to a whole number as the dissection page's
// slider does. --threads caps the fast paths' threads. --exact-frames runs the scalar loops on
// the first N frames only and scales their times by (frames / N)^2 (both loops are quadratic).
//
// Prints wall and CPU seconds per phase (CPU / wall / threads is the parallel efficiency), the
// share of surviving pairs, the speed-up, nanoseconds per nominal marker-pair term (frames^2 x
// members) and whether both paths agree: the same largest distance to 1e-12 and the identical
// graph. Exit status 1 if not.
#include "session/MotionCaptureSession.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "motiongraph/PoseColumns.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <tbb/global_control.h>
#include <tbb/parallel_reduce.h>
#include <tbb/blocked_range.h>

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>

using namespace duolo;

namespace {

struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = cpuSeconds();

    static double cpuSeconds()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }
    double wallSince() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count(); }
    double cpuSince() const { return cpuSeconds() - cpu; }
};

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

struct BuildResult {
    double maxSeconds = 0.0, maxCpu = 0.0;
    double graphSeconds = 0.0, graphCpu = 0.0;
    double maxDistance = 0.0;
    double threshold = 0.0;
    std::vector<std::pair<int32_t, int32_t>> clips;
    std::vector<std::pair<int32_t, int32_t>> edges;
};

BuildResult run(Group& group, DistanceEngine engine, int gaps, double threshold, double relative)
{
    BuildResult r;
    Clock max;
    computeMaxFrameDistance(group, engine);
    r.maxSeconds = max.wallSince();
    r.maxCpu = max.cpuSince();
    r.maxDistance = group.maxFrameDistance;
    r.threshold = relative > 0.0 ? std::floor(relative * group.maxFrameDistance) : threshold;

    group.graph = std::make_unique<Graph2D>();
    Clock graph;
    createEntireMotionGraph(group, gaps, r.threshold, {engine, {}});
    r.graphSeconds = graph.wallSince();
    r.graphCpu = graph.cpuSince();
    for (const Graph2DNode* n : group.graph->nodes)
        r.clips.emplace_back(n->startFrame, n->endFrame);
    for (const Graph2DEdge* e : group.graph->edges)
        r.edges.emplace_back(e->from->id, e->to->id);
    return r;
}

// The share of ordered pairs that survive the speed test: those whose distance is a number
// (short of a rounded cosine outside [-1, 1]) and that the full evaluation runs on unless a
// bound rules them out.
double survivingShare(const Group& group)
{
    PoseColumns columns;
    if (!columns.build(group.normalisedPoses, group.frameCount))
        return 0.0;
    __builtin_cpu_init();
    const detail::RowKernels& kernels = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")
                                            ? detail::avx512Kernels()
                                            : __builtin_cpu_supports("avx2") ? detail::avx2Kernels()
                                                                             : detail::genericKernels();
    const int32_t n = columns.frames;
    const int64_t surviving = tbb::parallel_reduce(
        tbb::blocked_range<int32_t>(0, n), int64_t(0),
        [&](const tbb::blocked_range<int32_t>& rows, int64_t count) {
            std::vector<double> row(static_cast<size_t>(n)), sourceSq;
            std::vector<int32_t> survivors;
            for (int32_t i = rows.begin(); i != rows.end(); ++i)
                if (columns.beginRow(i, 0, n, row.data(), sourceSq)) {
                    kernels.survivors(columns, sourceSq.data(), {}, 0, n, survivors);
                    count += static_cast<int64_t>(survivors.size());
                }
            return count;
        },
        std::plus<int64_t>());
    return n > 0 ? static_cast<double>(surviving) / (static_cast<double>(n) * n) : 0.0;
}

// Pulls every joint's speed towards its frame's mean speed: |v| becomes |v|^(1-A) mean^A, the
// direction kept (a still joint stays still). With A = 0 the take is as recorded; towards A = 1
// the joints of a frame move alike, so whether a pair survives the speed test depends more and
// more on the frames' overall speeds alone, and the share of surviving pairs rises towards half.
void evenSpeeds(Group& group, double amount)
{
    for (Skeleton& pose : group.normalisedPoses) {
        double sum = 0.0;
        int moving = 0;
        for (const Marker& joint : pose.joints) {
            const Vec3& v = joint.velocity;
            const double speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            sum += speed;
            moving += speed > 0.0;
        }
        if (moving == 0)
            continue;
        const double mean = sum / moving;
        for (Marker& joint : pose.joints) {
            Vec3& v = joint.velocity;
            const double speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
            if (speed == 0.0)
                continue;
            const double scale = std::pow(mean / speed, amount);
            v.x *= scale;
            v.y *= scale;
            v.z *= scale;
        }
    }
}

void printRun(const char* name, const BuildResult& r, double terms, double scale = 1.0)
{
    std::printf("%s max pass %.3f s wall / %.3f s CPU (%.3f ns/term), graph %.3f s wall / %.3f s CPU "
                "(%.3f ns/term), total %.3f s; max %.17g; threshold %g; %zu nodes, %zu edges\n",
                name, r.maxSeconds * scale, r.maxCpu * scale, r.maxSeconds * 1e9 / terms * scale,
                r.graphSeconds * scale, r.graphCpu * scale, r.graphSeconds * 1e9 / terms * scale,
                (r.maxSeconds + r.graphSeconds) * scale, r.maxDistance, r.threshold, r.clips.size(), r.edges.size());
}

} // namespace

int main(int argc, char** argv)
{
    std::string take = "locomotion", data;
    int frames = 0, tile = 0, gaps = 10, threads = 0, exactFrames = 0;
    double threshold = 100.0, relative = 0.0, spread = 0.0;
    bool exact = true;
    for (int a = 1; a < argc; ++a) {
        auto next = [&] { return a + 1 < argc ? argv[++a] : (std::fprintf(stderr, "missing value\n"), std::exit(2), ""); };
        if (!std::strcmp(argv[a], "--take")) take = next();
        else if (!std::strcmp(argv[a], "--data")) data = next();
        else if (!std::strcmp(argv[a], "--frames")) frames = std::atoi(next());
        else if (!std::strcmp(argv[a], "--tile")) tile = std::atoi(next());
        else if (!std::strcmp(argv[a], "--even-speeds")) spread = std::atof(next());
        else if (!std::strcmp(argv[a], "--gaps")) gaps = std::atoi(next());
        else if (!std::strcmp(argv[a], "--threshold")) threshold = std::atof(next());
        else if (!std::strcmp(argv[a], "--relative-threshold")) relative = std::atof(next());
        else if (!std::strcmp(argv[a], "--threads")) threads = std::atoi(next());
        else if (!std::strcmp(argv[a], "--exact-frames")) exactFrames = std::atoi(next());
        else if (!std::strcmp(argv[a], "--no-exact")) exact = false;
        else {
            std::fprintf(stderr, "usage: graph_bench [--take locomotion|dance] [--data DIR] [--frames N] [--tile N] "
                                 "[--even-speeds A] [--gaps G] [--threshold T | --relative-threshold F] [--threads N] "
                                 "[--exact-frames N] [--no-exact]\n");
            return 2;
        }
    }
    if (take != "locomotion" && take != "dance") {
        std::fprintf(stderr, "graph_bench: --take is locomotion or dance\n");
        return 2;
    }
    if (data.empty())
        data = std::string(DUOLO_SHARED_DATA_DIR) + (take == "dance" ? "/c3dorg_phoenix_dance" : "/hdm05_mm_locomotion");
    std::unique_ptr<tbb::global_control> threadCap;
    if (threads > 0)
        threadCap = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism, threads);
    const int usedThreads = static_cast<int>(
        tbb::global_control::active_value(tbb::global_control::max_allowed_parallelism));

    Clock load;
    MotionCaptureSession session;
    std::string error;
    Group* group = take == "dance" ? test::buildDanceGroup(session, data, &error)
                                   : test::buildLocomotionGroup(session, data, &error);
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
    if (spread > 0.0)
        evenSpeeds(*group, spread);
    // Only the normalised poses take part; drop the rest of the take to measure the graph.
    group->worldPoses.clear();
    group->worldPoses.shrink_to_fit();
    const double n = group->frameCount;
    const double members = group->memberCount();
    std::printf("take: %s\nframes: %d, members: %d, loaded in %.2f s, kernel: %s, threads: %d of %u\n", data.c_str(),
                group->frameCount, group->memberCount(), load.wallSince(), distanceRowIsa(), usedThreads,
                std::thread::hardware_concurrency());
    const double terms = n * n * members;

    // The columns alone first (the fast paths build them too, or find them already built).
    double columnsSeconds = 0.0, columnsCpu = 0.0;
    {
        Clock clock;
        PoseColumns columns;
        columns.build(group->normalisedPoses, group->frameCount);
        columnsSeconds = clock.wallSince();
        columnsCpu = clock.cpuSince();
    }
    const BuildResult fast = run(*group, DistanceEngine::Fast, gaps, threshold, relative);
    printRun("fast:  ", fast, terms);
    // The graph time split: the transition search alone, the rest is assembling the graph.
    std::vector<FrameLink> transitions;
    Clock search;
    findTransitions(group->normalisedPoses, group->frameCount, gaps, fast.threshold, {}, transitions);
    const double searchSeconds = search.wallSince(), searchCpu = search.cpuSince();
    double assemblySeconds = 0.0, assemblyCpu = 0.0;
    {
        group->graph = std::make_unique<Graph2D>();
        Clock assembly;
        assembleMotionGraph(*group, group->frameCount, transitions);
        assemblySeconds = assembly.wallSince();
        assemblyCpu = assembly.cpuSince();
    }
    auto stage = [&](const char* name, double wall, double cpu) {
        std::printf("  %-10s %7.3f s wall / %7.3f s CPU, efficiency %.2f\n", name, wall, cpu,
                    wall > 0.0 ? cpu / wall / usedThreads : 0.0);
    };
    std::printf("stages (efficiency = CPU / wall / %d threads; the machine's other load shows here too):\n",
                usedThreads);
    stage("columns", columnsSeconds, columnsCpu);
    stage("max pass", fast.maxSeconds, fast.maxCpu);
    stage("search", searchSeconds, searchCpu);
    stage("assembly", assemblySeconds, assemblyCpu);
    std::printf("%zu transitions; peak memory after fast: %.0f MB\n", transitions.size(), peakMegabytes());
    // After the timed runs, so that its own passes over the take do not warm the caches for them.
    std::printf("gaps %d, even speeds %g, surviving pairs %.2f%%\n", gaps, spread, 100.0 * survivingShare(*group));
    if (!exact)
        return 0;

    // The straightforward build: one thread, the definition pair by pair.
    threadCap = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism, 1);
    if (exactFrames > 0 && exactFrames < group->frameCount) {
        Group prefix(-1, group->groupNumber, exactFrames);
        prefix.normalisedPoses.assign(group->normalisedPoses.begin(), group->normalisedPoses.begin() + exactFrames);
        const BuildResult scalar = run(prefix, DistanceEngine::Exact, gaps, fast.threshold, 0.0);
        const double scale = (n / exactFrames) * (n / exactFrames);
        std::printf("scalar on the first %d frames, times (%d / %d)^2 = %.2f:\n", exactFrames, group->frameCount,
                    exactFrames, scale);
        printRun("scalar:", scalar, terms, scale);
        std::printf("speed-up: max pass %.1fx, graph %.1fx, whole run %.1fx\n",
                    scale * scalar.maxSeconds / fast.maxSeconds, scale * scalar.graphSeconds / fast.graphSeconds,
                    scale * (scalar.maxSeconds + scalar.graphSeconds) / (fast.maxSeconds + fast.graphSeconds));
        return 0;
    }
    const BuildResult scalar = run(*group, DistanceEngine::Exact, gaps, fast.threshold, 0.0);
    printRun("scalar:", scalar, terms);
    std::printf("speed-up: max pass %.1fx, graph %.1fx, whole run %.1fx\n", scalar.maxSeconds / fast.maxSeconds,
                scalar.graphSeconds / fast.graphSeconds,
                (scalar.maxSeconds + scalar.graphSeconds) / (fast.maxSeconds + fast.graphSeconds));
    const double relativeDifference =
        std::fabs(fast.maxDistance - scalar.maxDistance) / std::max(1e-300, std::fabs(scalar.maxDistance));
    const bool same = fast.clips == scalar.clips && fast.edges == scalar.edges;
    std::printf("agreement: max relative difference %.3g, identical graph: %s\n", relativeDifference,
                same ? "yes" : "NO");
    return same && relativeDifference <= 1e-12 ? 0 : 1;
}
