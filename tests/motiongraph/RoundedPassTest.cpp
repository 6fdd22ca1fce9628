// The cheap first passes of the distance rows (speed ranks, single-precision positions) and the
// shared pose columns, against the exact engine: takes chosen so that pairs sit a hair either
// side of the threshold and of the largest distance, where a careless bound would flip them.
#include "motiongraph/FrameDistance.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "motiongraph/PoseColumns.h"
#include "motiongraph/PoseColumnsCache.h"
#include "motiongraph/RowKernels.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

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

// The ranked speed test and the rounded position term of every runnable kernel set against the
// doubles; row limits at a pair's own distance and a hair either side (a pair is left out only
// when it is past the limit as the definition rounds it, and every pair kept has the value it
// has without limits); the largest distance and the transitions (the graph is built from them
// alone) at thresholds on those distances, against the exact engine.
TEST(RoundedPass, KernelsLimitsTransitionsAndLargestDistanceAgreeWithTheDoubles)
{
    const auto poses = boundaryPoses(211, 19, 3);  // 19 joints: a padded vector tail
    PoseColumns c;
    ASSERT_TRUE(c.build(poses, static_cast<int32_t>(poses.size())));
    ASSERT_FALSE(c.roundedPositions.empty());
    const int32_t n = c.frames;
    std::vector<int32_t> all(n);
    std::vector<double> exact(static_cast<size_t>(n) * n);
    for (int32_t i = 0; i < n; ++i) {
        all[i] = i;
        for (int32_t j = 0; j < n; ++j)
            exact[static_cast<size_t>(i) * n + j] = frameDistance(poses[i], poses[j]);
    }
    // Pairs of frames that move alike (position term only), and others, a few frames apart.
    std::vector<double> limitsAt;
    for (int32_t i : {3, 30, 63, 96, 120, 50, 101, 73})
        for (int32_t j = i % 3 == 0 ? i + 33 : (i * 5) % n; j < n; ++j)
            if (std::isfinite(exact[static_cast<size_t>(i) * n + j]) && std::abs(i - j) > 5) {
                limitsAt.push_back(exact[static_cast<size_t>(i) * n + j]);
                break;
            }
    ASSERT_EQ(limitsAt.size(), 8u);
    for (const auto& [name, row] : test::runnableKernels()) {
        SCOPED_TRACE(name);
        const detail::RowKernels& kernels = std::strcmp(name, "avx512") == 0 ? detail::avx512Kernels()
                                            : std::strcmp(name, "avx2") == 0 ? detail::avx2Kernels()
                                                                             : detail::genericKernels();
        std::vector<double> sourceSq, scratch(n), positions(n), rows(static_cast<size_t>(n) * n), limited(n);
        std::vector<int32_t> ranks, expected, ranked;
        std::vector<float> rounded(n);
        for (int32_t i = 0; i < n; ++i) {
            if (kernels.rankedSurvivors && c.beginRow(i, 0, n, scratch.data(), sourceSq)) {
                c.sourceRanks(i, ranks);
                // An odd range, so that the vector tails are exercised.
                kernels.survivors(c, sourceSq.data(), {}, 1, n - 3, expected);
                kernels.rankedSurvivors(c, ranks.data(), {}, 1, n - 3, ranked);
                ASSERT_EQ(ranked, expected) << i;
            }
            kernels.positions(c.records.data(), c.joints, i, all.data(), all.size(), positions.data());
            kernels.roundedPositions(c, i, all.data(), all.size(), rounded.data());
            for (int32_t j = 0; j < n; ++j)
                ASSERT_LE(std::fabs(rounded[j] - positions[j]), c.roundedPositionSlack(rounded[j])) << i << ' ' << j;
            detail::distanceRowWith(kernels, c, i, 0, n, rows.data() + static_cast<size_t>(i) * n);
        }
        for (double d : limitsAt)
            for (double limit : {d, std::nextafter(d, 0.0), std::nextafter(d, 1e9), d * (1 - 3e-7), d * (1 + 3e-7)})
                for (bool above : {true, false}) {
                    RowLimits limits;
                    (above ? limits.above : limits.below) = limit;
                    for (int32_t i = 0; i < n; ++i) {
                        detail::distanceRowWith(kernels, c, i, 0, n, limited.data(), limits);
                        for (int32_t j = 0; j < n; ++j) {
                            const size_t at = static_cast<size_t>(i) * n + j;
                            if (!std::isnan(limited[j])) {
                                ASSERT_EQ(limited[j], rows[at]);
                            } else if (!std::isnan(exact[at])) {
                                ASSERT_TRUE(above ? exact[at] > limit : exact[at] < limit) << i << ' ' << j;
                            }
                        }
                    }
                }
    }

    Group byExact(-1, 0, n), byFast(-1, 0, n);
    byExact.normalisedPoses = poses;
    byFast.normalisedPoses = poses;
    ASSERT_TRUE(computeMaxFrameDistance(byExact, DistanceEngine::Exact));
    ASSERT_TRUE(computeMaxFrameDistance(byFast, DistanceEngine::Fast));
    EXPECT_EQ(std::memcmp(&byExact.maxFrameDistance, &byFast.maxFrameDistance, sizeof(double)), 0);
    for (double d : limitsAt)
        for (double t : {d, std::nextafter(d, 0.0), std::nextafter(d, 1e9), d * (1 - 1e-7)}) {
            std::vector<FrameLink> fromExact, fromFast;
            ASSERT_TRUE(findTransitions(poses, n, 4, t, {DistanceEngine::Exact, {}}, fromExact));
            ASSERT_TRUE(findTransitions(poses, n, 4, t, {DistanceEngine::Fast, {}}, fromFast));
            EXPECT_EQ(fromFast, fromExact) << "threshold " << t;
        }
}

TEST(PoseColumnsCache, BuildsOnceWhilePosesStayAndAgainWhenTheyChange)
{
    PoseColumnsCache cache;
    std::vector<Skeleton> poses = boundaryPoses(120, 5, 9);
    const auto first = cache.columnsFor(poses, 120);
    ASSERT_TRUE(first);
    // Moved elsewhere (as a worker borrows a group's poses): still the same poses.
    std::vector<Skeleton> borrowed = std::move(poses);
    EXPECT_EQ(cache.columnsFor(borrowed, 120), first);
    EXPECT_EQ(cache.builds(), 1u);

    // One velocity one unit in the last place off: the entry is dropped and built anew.
    double& vx = borrowed[57].joints[3].velocity.x;
    vx = std::nextafter(vx, 1.0);
    const auto second = cache.columnsFor(borrowed, 120);
    EXPECT_TRUE(second && second != first);
    EXPECT_EQ(cache.builds(), 2u);
    EXPECT_EQ(cache.size(), 1u);
    // Fewer frames asked for is another set of columns; poses of differing sizes have none.
    EXPECT_EQ(cache.columnsFor(borrowed, 100)->frames, 100);
    EXPECT_EQ(cache.builds(), 3u);
    borrowed[3] = Skeleton(2);
    EXPECT_FALSE(cache.columnsFor(borrowed, 120));
}

} // namespace
} // namespace duolo
