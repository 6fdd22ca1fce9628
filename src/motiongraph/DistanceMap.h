#pragma once

#include "motiongraph/FrameDistance.h"
#include "motiongraph/MotionGraphBuilder.h"

#include <cstdint>
#include <vector>

namespace duolo {

class Graph2D;
class Skeleton;

// What a distance map measures: the whole frame distance, or its position term alone (the sum
// of the joints' distances, which is a number for every pair of finite poses, where the full
// distance of most pairs of a real take is not).
enum class DistanceTerm { Full, PositionOnly };

// A picture of a group's frame-distance matrix: source frame down, target frame across, the
// frames gathered into at most `side` x `side` blocks. Each cell holds the smallest finite
// distance of its block and the pair that reaches it, or not a number (pair -1, -1) when every
// pair of the block is not a number.
struct DistanceMap {
    DistanceTerm term = DistanceTerm::Full;
    double largest = 0.0;  // the largest finite distance of any pair measured; 0 with none
    int32_t frames = 0;  // frames of the group the map covers
    int32_t side = 0;    // cells per row and per column: min(frames, the requested size)
    std::vector<double> cells;      // [row * side + column]
    std::vector<int32_t> bestPair;  // [2 * (row * side + column)]: source, target

    // Frames [blockBegin(k), blockBegin(k + 1)) fall into row (and column) k.
    int32_t blockBegin(int32_t k) const
    {
        return static_cast<int32_t>(static_cast<int64_t>(k) * frames / side);
    }
    // The row (or column) of a frame.
    int32_t blockOf(int32_t frame) const
    {
        // The largest k with floor(k * frames / side) <= frame.
        return static_cast<int32_t>(((static_cast<int64_t>(frame) + 1) * side - 1) / frames);
    }
    double cell(int32_t row, int32_t column) const { return cells[static_cast<size_t>(row) * side + column]; }
    int32_t bestSource(int32_t row, int32_t column) const { return bestPair[2 * (static_cast<size_t>(row) * side + column)]; }
    int32_t bestTarget(int32_t row, int32_t column) const { return bestPair[2 * (static_cast<size_t>(row) * side + column) + 1]; }
};

inline constexpr int32_t kDefaultDistanceMapSize = 1024;

// Measures every ordered pair of the first `frameCount` poses with the fast distance rows (or
// the position term alone) and keeps each block's minimum. `maxSide` is clamped to at least 1.
// Returns false when cancelled.
bool computeDistanceMap(const std::vector<Skeleton>& poses, int32_t frameCount, int32_t maxSide,
                        const LongRun& run, DistanceMap& map, DistanceTerm term = DistanceTerm::Full);

// The transitions of a built graph: for every edge whose target clip does not simply continue
// its source clip, (last frame of the source clip, first frame of the target clip).
std::vector<FrameLink> graphTransitions(const Graph2D& graph);

// 8-bit RGB colour.
struct MapColour {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const MapColour&) const = default;
};

// Perceptual (viridis-like) colour of a fraction in [0, 1]: dark blue-violet at 0, yellow at 1.
MapColour distanceColour(double fraction);
inline constexpr MapColour kNotANumberColour{128, 128, 128};  // neutral grey
inline constexpr MapColour kTransitionColour{255, 255, 255};
// A pair at or under the threshold: the distance's colour pulled towards this red.
inline constexpr MapColour kHighlightColour{255, 40, 40};
MapColour highlighted(MapColour base);

struct DistanceMapStyle {
    double maxDistance = 0.0;  // colours run from 0 to this (the group's maximum)
    double threshold = -1.0;   // cells at or under it are highlighted; negative: none
    const std::vector<FrameLink>* transitions = nullptr;  // marked with a small white cross
};

// Row-major RGB pixels (3 bytes each).
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;

    MapColour at(int32_t x, int32_t y) const
    {
        const size_t k = 3 * (static_cast<size_t>(y) * width + x);
        return {pixels[k], pixels[k + 1], pixels[k + 2]};
    }
    void set(int32_t x, int32_t y, MapColour c)
    {
        const size_t k = 3 * (static_cast<size_t>(y) * width + x);
        pixels[k] = c.r;
        pixels[k + 1] = c.g;
        pixels[k + 2] = c.b;
    }
};

// The colour of one cell under the style (without transition marks).
MapColour cellColour(double distance, const DistanceMapStyle& style);

// The map alone, one pixel per cell, with the transitions marked.
RgbImage renderDistanceMap(const DistanceMap& map, const DistanceMapStyle& style);

// A vertical colour bar `height` pixels tall, 0 at the bottom and the maximum at the top, with
// the part at or under the threshold highlighted and a white line at the threshold.
RgbImage renderColourBar(int32_t width, int32_t height, const DistanceMapStyle& style);

// The map with the colour bar to its right (a dark gap between them), as the command line
// writes it.
RgbImage renderDistanceMapWithBar(const DistanceMap& map, const DistanceMapStyle& style);

} // namespace duolo
