// The cheap first passes of the distance rows (speed ranks, single-precision positions) and the
// shared pose columns, against the exact engine: takes chosen so that pairs sit a hair either
// side of the threshold and of the largest distance, where a careless bound would flip them.
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "motiongraph/PoseColumns.h"
#include "motiongraph/PoseColumnsCache.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace duolo {
namespace {

// Velocities on a 1e-4 grid as the marker files store them, so squared speeds tie exactly in
// many frames; positions far from the origin (rounding to floats loses the most there); a few
// still joints; and every fifth frame a copy of an earlier one nudged by a few units in the
// last place, so that some distances differ from others by a hair. Every third frame moves all
// its joints alike along x at one speed: between two such frames the velocity term is exactly
// 0, so the distance is the position term alone, with no room for a loose bound.
std::vector<Skeleton> boundaryPoses(int frames, int joints, uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int> step(-1, 1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Skeleton> poses;
    for (int f = 0; f < frames; ++f) {
        Skeleton s(joints);
        const int level = 2 + (f * 7) % 13;  // the frame's overall speed: many pairs survive
        for (int k = 0; k < joints; ++k) {
            Vec3 v{(level + step(random) + 1) * 1e-4, step(random) * 1e-4, step(random) * 1e-4};
            if (f % 3 == 0)
                v = {6e-4, 0, 0};
            if (f % 37 == 5 && k == 0)
                v = {0, 0, 0};
            s.joints[k] = Marker({900.0 + 40 * u(random), -700.0 + 40 * u(random), 60 * u(random)}, v, f);
        }
        if (f % 5 == 4 && f > 10 && f % 3 != 0) {
            s = poses[static_cast<size_t>(f / 2)];
            Vec3& p = s.joints[static_cast<size_t>(f) % joints].position;
            for (int ulp = 0; ulp < f % 3 + 1; ++ulp)
                p.x = std::nextafter(p.x, 2000.0);
        }
        poses.push_back(std::move(s));
    }
    return poses;
}

std::vector<const detail::RowKernels*> kernelSets()
{
    std::vector<const detail::RowKernels*> sets = {&detail::genericKernels()};
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        sets.push_back(&detail::avx2Kernels());
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        sets.push_back(&detail::avx512Kernels());
    return sets;
}

TEST(RoundedPass, RanksAndRoundedPositionsAgreeWithTheDoubles)
{
    const auto poses = boundaryPoses(211, 19, 3);  // 19 joints: a padded vector tail
    PoseColumns c;
    ASSERT_TRUE(c.build(poses, static_cast<int32_t>(poses.size())));
    ASSERT_FALSE(c.roundedPositions.empty());
    std::vector<int32_t> all(c.frames);
    for (int32_t j = 0; j < c.frames; ++j)
        all[j] = j;
    for (const detail::RowKernels* kernels : kernelSets()) {
        SCOPED_TRACE(kernels->name);
        std::vector<double> sourceSq, scratch(c.frames), exact(c.frames);
        std::vector<int32_t> ranks, expected, ranked;
        std::vector<float> rounded(c.frames);
        for (int32_t i = 0; i < c.frames; ++i) {
            if (kernels->rankedSurvivors && c.beginRow(i, 0, c.frames, scratch.data(), sourceSq)) {
                c.sourceRanks(i, ranks);
                // An odd range, so that the vector tails are exercised.
                kernels->survivors(c, sourceSq.data(), {}, 1, c.frames - 3, expected);
                kernels->rankedSurvivors(c, ranks.data(), {}, 1, c.frames - 3, ranked);
                ASSERT_EQ(ranked, expected) << i;
            }
            kernels->positions(c.records.data(), c.joints, i, all.data(), all.size(), exact.data());
            kernels->roundedPositions(c, i, all.data(), all.size(), rounded.data());
            for (int32_t j = 0; j < c.frames; ++j)
                ASSERT_LE(std::fabs(rounded[j] - exact[j]), c.roundedPositionSlack(rounded[j])) << i << ' ' << j;
        }
    }
}

// Limits set to a pair's own distance and a hair either side: a pair is left out only when
// it is past the limit as the definition rounds it, and every pair kept has the value it has
// without limits.
TEST(RoundedPass, RowLimitsAtAPairsOwnDistance)
{
    const auto poses = boundaryPoses(160, 7, 11);
    PoseColumns c;
    ASSERT_TRUE(c.build(poses, static_cast<int32_t>(poses.size())));
    const int32_t n = c.frames;
    std::vector<double> exact(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j)
            exact[static_cast<size_t>(i) * n + j] = frameDistance(poses[i], poses[j]);
    // Pairs of frames that move alike (position term only), and others.
    std::vector<double> limitsAt;
    for (int32_t i : {3, 30, 63, 96, 120, 50, 101})
        for (int32_t j = i % 3 == 0 ? i + 33 : (i * 5) % n; j < n; ++j)
            if (std::isfinite(exact[static_cast<size_t>(i) * n + j])) {
                limitsAt.push_back(exact[static_cast<size_t>(i) * n + j]);
                break;
            }
    ASSERT_EQ(limitsAt.size(), 7u);
    for (const detail::RowKernels* kernels : kernelSets()) {
        SCOPED_TRACE(kernels->name);
        std::vector<double> all(static_cast<size_t>(n) * n), limited(n);
        for (int32_t i = 0; i < n; ++i)
            detail::distanceRowWith(*kernels, c, i, 0, n, all.data() + static_cast<size_t>(i) * n);
        for (double d : limitsAt)
            for (double limit : {d, std::nextafter(d, 0.0), std::nextafter(d, 1e9), d * (1 - 3e-7), d * (1 + 3e-7)})
                for (bool above : {true, false}) {
                    RowLimits limits;
                    (above ? limits.above : limits.below) = limit;
                    for (int32_t i = 0; i < n; ++i) {
                        detail::distanceRowWith(*kernels, c, i, 0, n, limited.data(), limits);
                        for (int32_t j = 0; j < n; ++j) {
                            const size_t at = static_cast<size_t>(i) * n + j;
                            if (!std::isnan(limited[j])) {
                                ASSERT_EQ(limited[j], all[at]);
                            } else if (!std::isnan(exact[at])) {
                                ASSERT_TRUE(above ? exact[at] > limit : exact[at] < limit) << i << ' ' << j;
                            }
                        }
                    }
                }
    }
}

TEST(RoundedPass, GraphsAndLargestDistanceAtTheBoundariesMatchTheExactEngine)
{
    test::FixedClock clock(77);
    for (uint64_t seed : {1u, 2u}) {
        const auto poses = boundaryPoses(240, 9, seed);
        Group exact(-1, 0, static_cast<int32_t>(poses.size())), fast(-1, 0, static_cast<int32_t>(poses.size()));
        exact.normalisedPoses = poses;
        fast.normalisedPoses = poses;
        ASSERT_TRUE(computeMaxFrameDistance(exact, DistanceEngine::Exact));
        ASSERT_TRUE(computeMaxFrameDistance(fast, DistanceEngine::Fast));
        EXPECT_EQ(std::memcmp(&exact.maxFrameDistance, &fast.maxFrameDistance, sizeof(double)), 0) << seed;

        // Thresholds on the distances of a few pairs (three of them position terms alone) and a
        // hair either side of them.
        std::vector<double> thresholds;
        for (int32_t i : {39, 117, 150, 20, 73})
            for (int32_t j = i % 3 == 0 ? i + 39 : (i * 7) % 240; j < 240; ++j) {
                const double d = frameDistance(poses[i], poses[j]);
                if (std::isfinite(d) && std::abs(i - j) > 5) {
                    for (double t : {d, std::nextafter(d, 0.0), std::nextafter(d, 1e9), d * (1 - 1e-7)})
                        thresholds.push_back(t);
                    break;
                }
            }
        ASSERT_EQ(thresholds.size(), 20u);
        for (double t : thresholds) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", threshold " << t);
            std::vector<FrameLink> byExact, byFast;
            exact.graph.reset();  // each build makes its graph, seeding the draws alike
            fast.graph.reset();
            ASSERT_TRUE(createEntireMotionGraph(exact, 4, t, {DistanceEngine::Exact, {}}, &byExact));
            ASSERT_TRUE(createEntireMotionGraph(fast, 4, t, {DistanceEngine::Fast, {}}, &byFast));
            EXPECT_EQ(byFast, byExact);
            ASSERT_EQ(exact.graph->nodeCount(), fast.graph->nodeCount());
            for (int32_t k = 0; k < exact.graph->nodeCount(); ++k) {
                const Graph2DNode& a = *exact.graph->nodes[k];
                const Graph2DNode& b = *fast.graph->nodes[k];
                EXPECT_TRUE(a.id == b.id && a.startFrame == b.startFrame && a.endFrame == b.endFrame && a.x == b.x &&
                            a.y == b.y);
            }
            ASSERT_EQ(exact.graph->edgeCount(), fast.graph->edgeCount());
            for (int32_t k = 0; k < exact.graph->edgeCount(); ++k)
                EXPECT_TRUE(exact.graph->edges[k]->from->id == fast.graph->edges[k]->from->id &&
                            exact.graph->edges[k]->to->id == fast.graph->edges[k]->to->id);
        }
    }
}

TEST(PoseColumnsCache, BuildsOnceWhilePosesStayAndAgainWhenTheyChange)
{
    PoseColumnsCache cache;
    Group group(-1, 0, 120);
    group.normalisedPoses = boundaryPoses(120, 5, 9);
    const auto first = cache.columnsFor(group.normalisedPoses, 120);
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.columnsFor(group.normalisedPoses, 120), first);
    // Moved to another group (as a worker borrows them): still the same poses.
    Group borrower(-1, 0, 120);
    borrower.normalisedPoses = std::move(group.normalisedPoses);
    EXPECT_EQ(cache.columnsFor(borrower.normalisedPoses, 120), first);
    EXPECT_EQ(cache.builds(), 1u);

    // One velocity one unit in the last place off: the entry is dropped and built anew.
    double& vx = borrower.normalisedPoses[57].joints[3].velocity.x;
    vx = std::nextafter(vx, 1.0);
    const auto second = cache.columnsFor(borrower.normalisedPoses, 120);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(cache.builds(), 2u);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_TRUE(second->matches(borrower.normalisedPoses, 120));
    EXPECT_FALSE(first->matches(borrower.normalisedPoses, 120));
    // Fewer frames asked for is another set of columns.
    EXPECT_EQ(cache.columnsFor(borrower.normalisedPoses, 100)->frames, 100);
    EXPECT_EQ(cache.builds(), 3u);

    // Poses of differing sizes have no columns.
    borrower.normalisedPoses[3] = Skeleton(2);
    EXPECT_FALSE(cache.columnsFor(borrower.normalisedPoses, 120));
}

} // namespace
} // namespace duolo
