// Reading a take's marker files, and saving and loading its project.
#include "BenchData.h"

#include "capture/MessageSink.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"

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

} // namespace
} // namespace duolo::bench
