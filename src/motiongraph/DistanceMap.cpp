#include "motiongraph/DistanceMap.h"

#include "motiongraph/Graph2D.h"
#include "motiongraph/PoseColumns.h"
#include "motiongraph/PoseColumnsCache.h"
#include "skeleton/Skeleton.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

namespace duolo {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// One source frame's distances into the cells of its row, keeping each cell's minimum, and the
// largest finite distance of the row in `largest`.
template <typename Row>
void foldRow(DistanceMap& map, int32_t row, int32_t source, std::vector<double>& buffer, double& largest,
             Row&& distances)
{
    const int32_t n = map.frames;
    constexpr int32_t kChunk = 2048;
    buffer.resize(kChunk);
    double* cells = map.cells.data() + static_cast<size_t>(row) * map.side;
    int32_t* pairs = map.bestPair.data() + 2 * static_cast<size_t>(row) * map.side;
    for (int32_t j0 = 0; j0 < n; j0 += kChunk) {
        const int32_t j1 = std::min(n, j0 + kChunk);
        distances(source, j0, j1, buffer.data());
        int32_t column = map.blockOf(j0);
        int32_t columnEnd = map.blockBegin(column + 1);
        for (int32_t j = j0; j < j1; ++j) {
            while (j >= columnEnd)
                columnEnd = map.blockBegin(++column + 1);
            const double d = buffer[j - j0];
            if (d > largest)
                largest = d;
            // Not-a-number pairs fail the comparison, so they never replace anything.
            if (d < cells[column] || (std::isnan(cells[column]) && !std::isnan(d))) {
                cells[column] = d;
                pairs[2 * column] = source;
                pairs[2 * column + 1] = j;
            }
        }
    }
}

} // namespace

bool computeDistanceMap(const std::vector<Skeleton>& poses, int32_t frameCount, int32_t maxSide,
                        const LongRun& run, DistanceMap& map, DistanceTerm term)
{
    const int32_t n = std::max<int32_t>(0, std::min<int32_t>(frameCount, static_cast<int32_t>(poses.size())));
    DistanceMap result;
    result.term = term;
    result.frames = n;
    result.side = std::min(n, std::max(1, maxSide));
    result.cells.assign(static_cast<size_t>(result.side) * result.side, kNaN);
    result.bestPair.assign(2 * result.cells.size(), -1);
    if (n == 0) {
        map = std::move(result);
        return !run.cancelled();
    }

    const auto columns = PoseColumnsCache::shared().columnsFor(poses, n);
    const bool positions = term == DistanceTerm::PositionOnly;
    auto distances = [&](int32_t i, int32_t begin, int32_t end, double* out) {
        if (columns) {
            if (positions)
                positionRow(*columns, i, begin, end, out);
            else
                distanceRow(*columns, i, begin, end, out);
            return;
        }
        for (int32_t j = begin; j < end; ++j)
            out[j - begin] = positions ? positionDistance(poses[i], poses[j]) : frameDistance(poses[i], poses[j]);
    };

    std::mutex largestMutex;  // guards result.largest between the workers
    std::atomic<int64_t> sourcesDone{0};
    std::atomic<bool> stopped{false};
    const auto caller = std::this_thread::get_id();
    tbb::parallel_for(tbb::blocked_range<int32_t>(0, result.side, 1), [&](const tbb::blocked_range<int32_t>& rows) {
        std::vector<double> buffer;
        double largest = 0.0;
        for (int32_t row = rows.begin(); row != rows.end(); ++row) {
            const int32_t end = result.blockBegin(row + 1);
            for (int32_t i = result.blockBegin(row); i < end; ++i) {
                if (stopped.load(std::memory_order_relaxed) || run.cancelled()) {
                    stopped = true;
                    return;
                }
                foldRow(result, row, i, buffer, largest, distances);
                const int64_t done = ++sourcesDone;
                if (run.progress && std::this_thread::get_id() == caller)
                    run.report(static_cast<double>(done) / n);
            }
        }
        const std::lock_guard<std::mutex> lock(largestMutex);
        result.largest = std::max(result.largest, largest);
    });
    if (stopped || run.cancelled())
        return false;
    run.report(1.0);
    map = std::move(result);
    return true;
}

std::vector<FrameLink> graphTransitions(const Graph2D& graph)
{
    std::vector<FrameLink> links;
    for (const Graph2DEdge* e : graph.edges) {
        if (!e->from || !e->to)
            continue;
        const int32_t source = e->from->endFrame;
        const int32_t target = e->to->startFrame;
        if (target != source + 1)
            links.emplace_back(source, target);
    }
    return links;
}

MapColour distanceColour(double fraction)
{
    // Samples of the viridis map at 0, 0.1, ..., 1, interpolated linearly.
    static constexpr std::array<MapColour, 11> kStops{{{68, 1, 84},    {72, 36, 117},  {65, 68, 135},
                                                       {53, 95, 141},  {42, 120, 142}, {33, 145, 140},
                                                       {34, 168, 132}, {68, 191, 112}, {122, 209, 81},
                                                       {189, 223, 38}, {253, 231, 37}}};
    if (!(fraction > 0.0))
        return kStops.front();
    if (fraction >= 1.0)
        return kStops.back();
    const double x = fraction * 10.0;
    const int k = std::min(9, static_cast<int>(x));
    const double t = x - k;
    auto mix = [t](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * t)); };
    const MapColour& a = kStops[k];
    const MapColour& b = kStops[k + 1];
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

MapColour highlighted(MapColour base)
{
    // Mostly the highlight, with enough of the distance's colour left to tell near from far.
    auto mix = [](uint8_t a, uint8_t b) { return static_cast<uint8_t>((a * 3 + b * 7 + 5) / 10); };
    return {mix(base.r, kHighlightColour.r), mix(base.g, kHighlightColour.g), mix(base.b, kHighlightColour.b)};
}

MapColour cellColour(double distance, const DistanceMapStyle& style)
{
    if (std::isnan(distance))
        return kNotANumberColour;
    const double fraction = style.maxDistance > 0.0 ? distance / style.maxDistance : 0.0;
    const MapColour base = distanceColour(fraction);
    return style.threshold >= 0.0 && distance <= style.threshold ? highlighted(base) : base;
}

RgbImage renderDistanceMap(const DistanceMap& map, const DistanceMapStyle& style)
{
    RgbImage image;
    image.width = image.height = map.side;
    image.pixels.resize(3 * static_cast<size_t>(map.side) * map.side);
    for (int32_t y = 0; y < map.side; ++y)
        for (int32_t x = 0; x < map.side; ++x)
            image.set(x, y, cellColour(map.cell(y, x), style));
    if (style.transitions && map.frames > 0) {
        for (const FrameLink& t : *style.transitions) {
            if (t.first < 0 || t.second < 0 || t.first >= map.frames || t.second >= map.frames)
                continue;
            const int32_t y = map.blockOf(t.first);
            const int32_t x = map.blockOf(t.second);
            const int32_t arms[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
            for (const auto& a : arms) {
                const int32_t px = x + a[0], py = y + a[1];
                if (px >= 0 && py >= 0 && px < map.side && py < map.side)
                    image.set(px, py, kTransitionColour);
            }
        }
    }
    return image;
}

RgbImage renderColourBar(int32_t width, int32_t height, const DistanceMapStyle& style)
{
    RgbImage bar;
    bar.width = std::max(1, width);
    bar.height = std::max(1, height);
    bar.pixels.resize(3 * static_cast<size_t>(bar.width) * bar.height);
    const double top = std::max(0.0, style.maxDistance);
    int32_t thresholdRow = -1;
    if (style.threshold >= 0.0 && top > 0.0 && style.threshold <= top)
        thresholdRow = static_cast<int32_t>(std::lround((1.0 - style.threshold / top) * (bar.height - 1)));
    for (int32_t y = 0; y < bar.height; ++y) {
        const double value = bar.height > 1 ? top * (1.0 - static_cast<double>(y) / (bar.height - 1)) : top;
        const MapColour c = y == thresholdRow ? kTransitionColour : cellColour(value, style);
        for (int32_t x = 0; x < bar.width; ++x)
            bar.set(x, y, c);
    }
    return bar;
}

RgbImage renderDistanceMapWithBar(const DistanceMap& map, const DistanceMapStyle& style)
{
    const RgbImage picture = renderDistanceMap(map, style);
    constexpr int32_t kGap = 8;
    const int32_t barWidth = std::max(12, map.side / 24);
    const RgbImage bar = renderColourBar(barWidth, std::max(1, map.side), style);
    RgbImage out;
    out.width = picture.width + kGap + bar.width;
    out.height = std::max(picture.height, bar.height);
    out.pixels.assign(3 * static_cast<size_t>(out.width) * out.height, 32);
    for (int32_t y = 0; y < picture.height; ++y)
        for (int32_t x = 0; x < picture.width; ++x)
            out.set(x, y, picture.at(x, y));
    for (int32_t y = 0; y < bar.height; ++y)
        for (int32_t x = 0; x < bar.width; ++x)
            out.set(picture.width + kGap + x, y, bar.at(x, y));
    return out;
}

} // namespace duolo
