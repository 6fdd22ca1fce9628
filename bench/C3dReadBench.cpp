// Reading a C3D file of 40 points over 100,000 frames (float storage, a few short gaps per
// point), as "Open Files" does: the reader, the gap filling and the samples with velocities.
#include "capture/CaptureReader.h"
#include "support/C3dWriter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace duolo::bench {
namespace {

std::string writeLongTake(bool floats)
{
    test::C3dSpec s;
    s.floats = floats;
    s.points = 40;
    s.frames = 100000;
    s.trialRange = true;
    s.rate = 120.0f;
    for (int p = 0; p < s.points; ++p)
        s.labels.push_back(std::string("P").append(std::to_string(p)));
    s.data.reserve(static_cast<size_t>(s.points) * s.frames);
    for (int f = 0; f < s.frames; ++f)
        for (int p = 0; p < s.points; ++p) {
            const float t = static_cast<float>(f) / 120.0f;
            const bool seen = (f + 97 * p) % 5000 >= 12;  // a 12-frame gap every 5,000 frames
            s.data.push_back({100.0f * std::sin(t + p), 100.0f * std::cos(t), 900.0f + 10.0f * p, seen ? 1.0f : -1.0f});
        }
    const auto path = std::filesystem::temp_directory_path() /
                      ("duolo-bench-" + std::to_string(getpid()) + (floats ? "-float.c3d" : "-int.c3d"));
    std::ofstream(path, std::ios::binary) << test::writeC3d(s);
    return path.string();
}

void readC3d(benchmark::State& state)
{
    const std::string path = writeLongTake(state.range(0) != 0);
    for (auto _ : state) {
        CaptureFile file;
        std::string error;
        if (!readCaptureFile(path, file, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(file.trajectories.data());
    }
    state.counters["frames"] = 100000;
    state.counters["points"] = 40;
    std::filesystem::remove(path);
}
BENCHMARK(readC3d)->Arg(1)->Arg(0)->ArgName("float")->Unit(benchmark::kMillisecond);

} // namespace
} // namespace duolo::bench
