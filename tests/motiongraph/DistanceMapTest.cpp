#include "motiongraph/DistanceMap.h"
#include "motiongraph/Graph2D.h"
#include "skeleton/Skeleton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace duolo {
namespace {

// A one-joint body whose position repeats every `period` frames, moving at speed 1 except on
// every seventh frame (speed 2). Pairs of equal speed measure |x_i - x_j| exactly, so the map
// is striped: 0 on every diagonal a whole number of periods from the main one. A slow source
// into a fast target is not a number (the target is faster); a fast source into a slow target
// adds sqrt(3).
std::vector<Skeleton> periodicTake(int frames, int period)
{
    std::vector<Skeleton> poses;
    for (int f = 0; f < frames; ++f) {
        Skeleton s(1);
        const double speed = f % 7 == 3 ? 2.0 : 1.0;
        s.joints[0] = Marker({double(f % period), 0, 0}, {speed, 0, 0}, f);
        poses.push_back(std::move(s));
    }
    return poses;
}

TEST(DistanceMap, FullSizeMapIsTheExactMatrix)
{
    const int n = 60, period = 10;
    const auto poses = periodicTake(n, period);
    DistanceMap map;
    ASSERT_TRUE(computeDistanceMap(poses, n, 1024, {}, map));
    ASSERT_EQ(map.side, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const bool fastI = i % 7 == 3, fastJ = j % 7 == 3;
            const double d = map.cell(i, j);
            SCOPED_TRACE(testing::Message() << "pair " << i << ", " << j);
            if (fastJ && !fastI) {
                EXPECT_TRUE(std::isnan(d));
                EXPECT_EQ(map.bestSource(i, j), -1);
                continue;
            }
            const double expected = std::abs(double(i % period) - double(j % period)) + (fastI && !fastJ ? std::sqrt(3.0) : 0.0);
            EXPECT_NEAR(d, expected, 1e-12);
            EXPECT_EQ(map.bestSource(i, j), i);
            EXPECT_EQ(map.bestTarget(i, j), j);
            if (!fastI && !fastJ) {
                EXPECT_EQ(d == 0.0, (i - j) % period == 0);  // the stripes
            }
        }
    EXPECT_NEAR(map.largest, period - 1.0 + std::sqrt(3.0), 1e-12);

    // The position term alone is |x_i - x_j| everywhere, with no not-a-number cells, coloured
    // against its own largest value.
    DistanceMap positions;
    ASSERT_TRUE(computeDistanceMap(poses, n, 1024, {}, positions, DistanceTerm::PositionOnly));
    EXPECT_EQ(positions.term, DistanceTerm::PositionOnly);
    EXPECT_EQ(positions.largest, period - 1.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            EXPECT_NEAR(positions.cell(i, j), std::abs(double(i % period) - double(j % period)), 1e-12) << i << ' ' << j;
}

TEST(DistanceMap, DownsampledCellsHoldTheirBlocksSmallestFiniteDistance)
{
    const int n = 301, period = 13, side = 37;  // blocks of 8 and 9 frames
    const auto poses = periodicTake(n, period);
    DistanceMap map;
    ASSERT_TRUE(computeDistanceMap(poses, n, side, {}, map));
    ASSERT_EQ(map.side, side);
    EXPECT_EQ(map.blockBegin(0), 0);
    EXPECT_EQ(map.blockBegin(side), n);
    for (int f = 0; f < n; ++f) {
        const int k = map.blockOf(f);
        ASSERT_LE(map.blockBegin(k), f);
        ASSERT_GT(map.blockBegin(k + 1), f);
    }
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c) {
            double best = std::numeric_limits<double>::quiet_NaN();
            for (int i = map.blockBegin(r); i < map.blockBegin(r + 1); ++i)
                for (int j = map.blockBegin(c); j < map.blockBegin(c + 1); ++j) {
                    const double d = frameDistance(poses[i], poses[j]);
                    if (!std::isnan(d) && !(d >= best))
                        best = d;
                }
            SCOPED_TRACE(testing::Message() << "cell " << r << ", " << c);
            ASSERT_EQ(std::isnan(map.cell(r, c)), std::isnan(best));
            if (std::isnan(best))
                continue;
            EXPECT_NEAR(map.cell(r, c), best, 1e-12);
            const int i = map.bestSource(r, c), j = map.bestTarget(r, c);
            EXPECT_EQ(map.blockOf(i), r);
            EXPECT_EQ(map.blockOf(j), c);
            EXPECT_NEAR(frameDistance(poses[i], poses[j]), best, 1e-12);
        }

    // Cancelled before it starts: false, and the map is left as it was.
    std::atomic<bool> cancel{true};
    DistanceMap untouched;
    LongRun run;
    run.cancel = &cancel;
    EXPECT_FALSE(computeDistanceMap(poses, n, side, run, untouched));
    EXPECT_EQ(untouched.side, 0);
}

TEST(DistanceMap, ColoursShowDistanceThresholdNotANumberAndTransitions)
{
    const int n = 60, period = 10;
    const auto poses = periodicTake(n, period);
    DistanceMap map;
    ASSERT_TRUE(computeDistanceMap(poses, n, 1024, {}, map));

    // A graph whose one transition is 12 -> 40 (the other edge only continues a clip).
    Graph2D graph;
    Graph2DNode* a = graph.addNode(0, 12, 0, 0);
    Graph2DNode* b = graph.addNode(13, 20, 5, 5);
    Graph2DNode* c = graph.addNode(40, 50, 10, 10);
    graph.deselectAll();
    graph.addEdge(a, b);
    graph.addEdge(a, c);
    const std::vector<FrameLink> transitions = graphTransitions(graph);
    ASSERT_EQ(transitions, (std::vector<FrameLink>{{12, 40}}));

    DistanceMapStyle style;
    style.maxDistance = 9.0;
    style.threshold = 2.0;
    style.transitions = &transitions;
    const RgbImage image = renderDistanceMap(map, style);
    ASSERT_EQ(image.width, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const bool nearTransition = std::abs(i - 12) + std::abs(j - 40) <= 1 && (i == 12 || j == 40);
            const double d = map.cell(i, j);
            MapColour expected;
            if (nearTransition)
                expected = kTransitionColour;
            else if (std::isnan(d))
                expected = kNotANumberColour;
            else if (d <= 2.0)
                expected = highlighted(distanceColour(d / 9.0));
            else
                expected = distanceColour(d / 9.0);
            ASSERT_EQ(image.at(j, i), expected) << "pixel " << j << ", " << i;
        }
    // The colour map runs dark to bright, and the highlight differs from every plain colour.
    EXPECT_LT(distanceColour(0.0).g, distanceColour(1.0).g);
    EXPECT_NE(highlighted(distanceColour(0.0)), distanceColour(0.0));

    const RgbImage both = renderDistanceMapWithBar(map, style);
    EXPECT_GT(both.width, n);
    EXPECT_EQ(both.height, n);
    // The bar's top is the maximum's colour, its bottom the (highlighted) colour of 0.
    EXPECT_EQ(both.at(both.width - 1, 0), distanceColour(1.0));
    EXPECT_EQ(both.at(both.width - 1, n - 1), highlighted(distanceColour(0.0)));
}

} // namespace
} // namespace duolo
