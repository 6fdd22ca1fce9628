// Reading a take's marker files, and saving and loading its project.
#include "BenchData.h"

#include "capture/MessageSink.h"
#include "motiongraph/Graph2D.h"
#include "session/EditHistory.h"
#include "session/GraphFile.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <unistd.h>

namespace duolo::bench {
namespace {

class QuietSink : public MessageSink {
public:
    void showMessage(const std::string&) override {}
};

// The take with a pelvis centroid, one group of everything, heading and up vectors, a collider
// set and a few edges: what a project of the take holds after the skeleton builder.
std::unique_ptr<MotionCaptureSession> builtTake()
{
    auto s = std::make_unique<MotionCaptureSession>();
    s->loadMarkers(takeMarkerFiles());
    const int n = s->markerCount();
    auto select = [&](std::initializer_list<int> ids) {
        s->clearMarkerSelection();
        for (int id : ids)
            s->selectMarker(id);
    };
    select({0, 1, 2, 3});
    s->createCentroid();
    select({0, 1});
    s->createCentroid();
    s->clearMarkerSelection();
    for (int i = 0; i < n + 2; ++i)
        s->selectMarker(i);
    s->createGroup();
    s->createHeadingVectorFor(n, n + 1, 0);
    s->createUpVectorFor(n, 4, 0);
    select({5, 6});
    s->setCollider();
    for (int i = 0; i + 1 < n; i += 4) {
        select({i, i + 1});
        s->createEdge();
    }
    return s;
}

std::string tempProjectPath()
{
    return (std::filesystem::temp_directory_path() / ("duolo-bench-" + std::to_string(::getpid()) + ".dwz")).string();
}

void BM_ReadTakeMarkerFiles(benchmark::State& state)
{
    const auto files = takeMarkerFiles();
    int64_t samples = 0;
    for (auto _ : state) {
        MotionCaptureSession s;
        s.loadMarkers(files);
        samples = 0;
        for (const auto& m : s.markers)
            samples += m->sampleCount();
        benchmark::DoNotOptimize(samples);
    }
    state.counters["files"] = static_cast<double>(files.size());
    state.counters["samples"] = static_cast<double>(samples);
    state.SetItemsProcessed(state.iterations() * samples);
}
BENCHMARK(BM_ReadTakeMarkerFiles)->Unit(benchmark::kMillisecond);

void BM_ProjectBytes(benchmark::State& state)
{
    QuietSink quiet;
    auto* previous = setMessageSink(&quiet);
    auto s = builtTake();
    std::size_t size = 0;
    for (auto _ : state) {
        auto bytes = projectBytes(*s);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    setMessageSink(previous);
}
BENCHMARK(BM_ProjectBytes)->Unit(benchmark::kMillisecond);

// Includes writing a temporary file, fsync and the rename.
void BM_SaveProject(benchmark::State& state)
{
    QuietSink quiet;
    auto* previous = setMessageSink(&quiet);
    auto s = builtTake();
    const auto path = tempProjectPath();
    std::string error;
    for (auto _ : state) {
        if (!saveProject(*s, path, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
    setMessageSink(previous);
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);

void BM_LoadProject(benchmark::State& state)
{
    QuietSink quiet;
    auto* previous = setMessageSink(&quiet);
    const auto path = tempProjectPath();
    std::string error;
    if (!saveProject(*builtTake(), path, error)) {
        state.SkipWithError(error.c_str());
        setMessageSink(previous);
        return;
    }
    const auto size = std::filesystem::file_size(path);
    for (auto _ : state) {
        auto s = loadProject(path, error);
        if (!s) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(s.get());
    }
    state.counters["bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    std::filesystem::remove(path);
    setMessageSink(previous);
}
BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond);

// The take's project with a large graph in its group: `nodes` clips in a chain, with four random
// transitions each (a graph built at gaps 1 near the largest distance is of this size).
std::unique_ptr<MotionCaptureSession> takeWithGraph(int nodes)
{
    auto s = builtTake();
    Graph2D& g = *s->groups.front()->graph;
    {
        Graph2D::PlacementBatch batch(g);
        for (int k = 0; k < nodes; ++k)
            g.addNode(k, k, 2.0 * (k % 200), 2.0 * (k / 200));
    }
    g.deselectAll();
    uint32_t r = 12345;
    for (int k = 0; k < nodes; ++k) {
        if (k + 1 < nodes)
            g.addEdge(g.nodes[k], g.nodes[k + 1]);
        for (int e = 0; e < 4; ++e) {
            r = r * 1664525u + 1013904223u;
            g.addEdge(g.nodes[k], g.nodes[r % static_cast<uint32_t>(nodes)]);
        }
    }
    return s;
}

// One undoable step of the editor (a node moved) on a large graph: the snapshot before and after.
void BM_GraphEditStep(benchmark::State& state)
{
    QuietSink quiet;
    auto* previous = setMessageSink(&quiet);
    auto s = takeWithGraph(static_cast<int>(state.range(0)));
    Graph2D& g = *s->groups.front()->graph;
    g.selectNode(g.nodes[10]);
    EditHistory history;
    history.prepare(*s, EditHistory::Scope::Graphs);
    for (auto _ : state) {
        history.prepare(*s, EditHistory::Scope::Graphs);
        g.moveSelected(0.25, 0.0);
        history.commit(*s, EditHistory::Scope::Graphs, "Move Node 10");
    }
    state.counters["graphBytes"] = static_cast<double>(groupGraphBytes(*s->groups.front()).size());
    state.counters["historyMB"] = static_cast<double>(history.memoryUsed()) / (1 << 20);
    setMessageSink(previous);
}
BENCHMARK(BM_GraphEditStep)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

// One undoable step of the skeleton builder (an edge made): the project's bytes before and after.
void BM_SkeletonEditStep(benchmark::State& state)
{
    QuietSink quiet;
    auto* previous = setMessageSink(&quiet);
    auto s = builtTake();
    EditHistory history;
    int k = 0;
    for (auto _ : state) {
        history.prepare(*s, EditHistory::Scope::Everything);
        s->clearMarkerSelection();
        s->selectMarker(k % 20);
        s->selectMarker(20 + k++ % 20);
        s->createEdge();
        history.commit(*s, EditHistory::Scope::Everything, "Create Edge");
    }
    state.counters["projectBytes"] = static_cast<double>(projectBytes(*s).size());
    setMessageSink(previous);
}
BENCHMARK(BM_SkeletonEditStep)->Unit(benchmark::kMillisecond);

// Saving and reading back the graph file of a large graph (in memory).
void BM_GraphFileRoundTrip(benchmark::State& state)
{
    QuietSink quiet;
    auto* previous = setMessageSink(&quiet);
    auto s = takeWithGraph(static_cast<int>(state.range(0)));
    std::size_t size = 0;
    for (auto _ : state) {
        const auto bytes = graphFileBytes(*s, 42);
        GraphFileContents contents;
        std::string error;
        if (!readGraphFile(bytes.data(), bytes.size(), "bench.graphs", contents, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        size = bytes.size();
    }
    state.counters["fileBytes"] = static_cast<double>(size);
    setMessageSink(previous);
}
BENCHMARK(BM_GraphFileRoundTrip)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace duolo::bench
