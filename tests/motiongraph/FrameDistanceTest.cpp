#include "motiongraph/FrameDistance.h"
#include "motiongraph/PoseColumns.h"
#include "motiongraph/RowKernels.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cmath>
#include <limits>
#include <random>

namespace duolo {
namespace {

Skeleton pose(std::initializer_list<std::pair<Vec3, Vec3>> joints)
{
    Skeleton s(static_cast<int32_t>(joints.size()));
    int k = 0;
    for (const auto& [position, velocity] : joints)
        s.joints[k++] = Marker(position, velocity, 0);
    return s;
}

TEST(FrameDistance, PositionAndVelocityTermsAddUp)
{
    const Skeleton p = pose({{{0, 0, 0}, {2, 0, 0}}, {{1, 1, 1}, {0, 3, 0}}});
    const Skeleton q = pose({{{3, 4, 0}, {0, 1, 0}}, {{1, 1, 1}, {0, 3, 0}}});
    EXPECT_DOUBLE_EQ(positionDistance(p, q), 5.0);
    // Joint 0: a right angle, and sqrt(4 - 1); joint 1: the same velocity, nothing.
    EXPECT_DOUBLE_EQ(velocityDistance(p, q), M_PI / 2 + std::sqrt(3.0));
    EXPECT_DOUBLE_EQ(frameDistance(p, q), 5.0 + M_PI / 2 + std::sqrt(3.0));
}

TEST(FrameDistance, IsNotSymmetric)
{
    // Every joint is slower in p than in q: finite from q to p, not a number from p to q.
    const Skeleton p = pose({{{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 0, 1}}});
    const Skeleton q = pose({{{0, 1, 0}, {2, 0, 0}}, {{0, 0, 0}, {0, 0, 3}}});
    EXPECT_TRUE(std::isnan(frameDistance(p, q)));
    EXPECT_DOUBLE_EQ(frameDistance(q, p), 1.0 + std::sqrt(3.0) + std::sqrt(8.0));
}

TEST(FrameDistance, OneFasterJointSpoilsTheWholeDistance)
{
    const Skeleton p = pose({{{0, 0, 0}, {5, 0, 0}}, {{0, 0, 0}, {0, 1, 0}}});
    const Skeleton q = pose({{{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 1.5, 0}}});
    EXPECT_TRUE(std::isnan(frameDistance(p, q)));
    EXPECT_TRUE(std::isnan(velocityDistance(p, q)));
    EXPECT_EQ(positionDistance(p, q), 0.0);
}

TEST(FrameDistance, ZeroVelocityIsNotCloseToAnything)
{
    const Skeleton still = pose({{{0, 0, 0}, {0, 0, 0}}});
    const Skeleton moving = pose({{{0, 0, 0}, {1, 0, 0}}});
    EXPECT_TRUE(std::isnan(frameDistance(still, moving)));
    EXPECT_TRUE(std::isnan(frameDistance(moving, still)));
    EXPECT_TRUE(std::isnan(frameDistance(still, still)));
}

TEST(FrameDistance, EqualSpeedsGiveAZeroMagnitudeTerm)
{
    const Skeleton p = pose({{{0, 0, 0}, {3, 4, 0}}});
    const Skeleton q = pose({{{0, 0, 0}, {0, 0, 5}}});
    EXPECT_DOUBLE_EQ(frameDistance(p, q), M_PI / 2);
    EXPECT_DOUBLE_EQ(frameDistance(q, p), M_PI / 2);
}

TEST(FrameDistance, ToItselfIsZeroTinyOrNotANumber)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    int nan = 0;
    for (int t = 0; t < 2000; ++t) {
        const Skeleton p = pose({{{u(random), u(random), u(random)}, {u(random), u(random), u(random)}}});
        const double d = frameDistance(p, p);
        if (std::isnan(d))
            ++nan;
        else
            EXPECT_LT(d, 1e-7);
        // Whether it is a number is decided by the rounded cosine alone.
        const Vec3& v = p.joints[0].velocity;
        const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        EXPECT_EQ(std::isnan(d), (v.x * v.x + v.y * v.y + v.z * v.z) / (n * n) > 1.0);
    }
    // The unclamped cosine lands above 1 now and then: that is part of the measure.
    EXPECT_GT(nan, 0);
}

TEST(MaxFrameDistance, SkipsNotANumberAndCoversBothOrders)
{
    Group group(-1, 0, 3);
    group.normalisedPoses = {pose({{{0, 0, 0}, {0, 0, 0}}}),          // still: never counts
                             pose({{{0, 0, 0}, {1, 0, 0}}}),
                             pose({{{0, 9, 0}, {0, 2, 0}}})};
    for (DistanceEngine engine : {DistanceEngine::Exact, DistanceEngine::Fast}) {
        group.maxFrameDistance = -1.0;
        ASSERT_TRUE(computeMaxFrameDistance(group, engine));
        // Only 2 -> 1 (and the self pairs) are numbers: 9 + pi/2 + sqrt(3).
        EXPECT_DOUBLE_EQ(group.maxFrameDistance, 9.0 + M_PI / 2 + std::sqrt(3.0));
    }
}

TEST(MaxFrameDistance, SingleFrameAndNoFramesStayZero)
{
    for (DistanceEngine engine : {DistanceEngine::Exact, DistanceEngine::Fast}) {
        Group one(-1, 0, 1);
        one.normalisedPoses = {pose({{{1, 2, 3}, {0.1, 0.2, 0.3}}})};
        one.maxFrameDistance = 5.0;
        ASSERT_TRUE(computeMaxFrameDistance(one, engine));
        EXPECT_LT(one.maxFrameDistance, 1e-7);
        Group none(-1, 0, 0);
        none.maxFrameDistance = 5.0;
        ASSERT_TRUE(computeMaxFrameDistance(none, engine));
        EXPECT_EQ(none.maxFrameDistance, 0.0);
    }
}

TEST(MaxFrameDistance, CancelLeavesTheValueAndProgressReachesOne)
{
    Group group(-1, 0, 50);
    for (int f = 0; f < 50; ++f)
        group.normalisedPoses.push_back(pose({{{double(f), 0, 0}, {1.0 + f % 7, 0.5, 0}}}));
    for (DistanceEngine engine : {DistanceEngine::Exact, DistanceEngine::Fast}) {
        std::atomic<bool> cancel{true};
        group.maxFrameDistance = 7.0;
        LongRun run;
        run.cancel = &cancel;
        EXPECT_FALSE(computeMaxFrameDistance(group, engine, run));
        EXPECT_EQ(group.maxFrameDistance, 7.0);

        cancel = false;
        double last = 0.0;
        run.progress = [&](double f) {
            EXPECT_GE(f, last);
            last = f;
        };
        EXPECT_TRUE(computeMaxFrameDistance(group, engine, run));
        EXPECT_EQ(last, 1.0);
        EXPECT_GT(group.maxFrameDistance, 0.0);
    }
}

TEST(MaxFrameDistance, CancelFromTheProgressCallbackStopsTheFastPass)
{
    Group group(-1, 0, 3000);
    for (int f = 0; f < 3000; ++f)
        group.normalisedPoses.push_back(pose({{{double(f % 17), 0, 0}, {1.0 + f % 7, 0.5, 0}}}));
    std::atomic<bool> cancel{false};
    LongRun run;
    run.cancel = &cancel;
    double last = 0.0;
    run.progress = [&](double f) {
        last = f;
        if (f > 0.1)
            cancel = true;
    };
    group.maxFrameDistance = 7.0;
    EXPECT_FALSE(computeMaxFrameDistance(group, DistanceEngine::Fast, run));
    EXPECT_EQ(group.maxFrameDistance, 7.0);
    EXPECT_LT(last, 1.0);
}

// Synthetic poses that exercise every path of the vector kernels: still joints, speeds that
// tie exactly, identical velocities (cosine rounding to just above 1), and many survivors.
std::vector<Skeleton> syntheticPoses(int frames, int joints, uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<Skeleton> poses;
    std::vector<Vec3> shared(joints);
    for (auto& v : shared)
        v = {u(random), u(random), u(random)};
    for (int f = 0; f < frames; ++f) {
        Skeleton s(joints);
        for (int k = 0; k < joints; ++k) {
            Vec3 v{u(random), u(random), u(random)};
            const int kind = static_cast<int>(random() % 16);
            if (kind == 0 && f % 5 == 0)
                v = {0, 0, 0};
            else if (kind < 6)
                v = shared[k];  // the same velocity in many frames
            else if (kind < 8)
                v = shared[k] * 0.5;
            s.joints[k] = Marker({u(random) * 10, u(random) * 10, u(random)}, v, f);
        }
        poses.push_back(std::move(s));
    }
    return poses;
}

using test::runnableKernels;

TEST(FastDistance, RowsAgreeWithTheDefinitionOnSyntheticPoses)
{
    for (const auto& [name, kernel] : runnableKernels()) {
        for (int joints : {1, 2, 3, 7}) {
            SCOPED_TRACE(testing::Message() << name << ", " << joints << " joints");
            const auto poses = syntheticPoses(203, joints, 40 + joints);
            PoseColumns columns;
            ASSERT_TRUE(columns.build(poses, static_cast<int32_t>(poses.size())));
            std::vector<double> row(poses.size());
            std::vector<double> part(poses.size());
            int finite = 0;
            for (int i = 0; i < columns.frames; ++i) {
                // An odd window too, so the vector tails are exercised.
                kernel(columns, i, 0, columns.frames, row.data());
                kernel(columns, i, 3, columns.frames - 2, part.data());
                for (int j = 0; j < columns.frames; ++j) {
                    const double expected = frameDistance(poses[i], poses[j]);
                    ASSERT_EQ(std::isnan(row[j]), std::isnan(expected)) << i << ' ' << j;
                    const double columnExact = columns.exactDistance(i, j);
                    EXPECT_TRUE(std::isnan(expected) ? std::isnan(columnExact) : columnExact == expected);
                    if (!std::isnan(expected)) {
                        ++finite;
                        EXPECT_NEAR(row[j], expected, 1e-12 * std::fabs(expected)) << i << ' ' << j;
                    }
                    if (j >= 3 && j < columns.frames - 2) {
                        EXPECT_TRUE(std::isnan(part[j - 3]) ? std::isnan(row[j]) : part[j - 3] == row[j]);
                    }
                }
            }
            EXPECT_GT(finite, 200);
        }
    }
}

TEST(FastDistance, VectorArccosineIsNotANumberExactlyOutsideTheRange)
{
    // The kernels rely on the vector acos giving not-a-number for exactly the cosines the scalar
    // one rejects: check the neighbourhood of +-1.
    const double one = 1.0;
    const double values[] = {std::nextafter(one, 2.0), one, std::nextafter(one, 0.0),
                             std::nextafter(-one, -2.0), -one, std::nextafter(-one, 0.0), 0.0};
    for (double c : values) {
        // A pose pair whose single joint's cosine is exactly c: velocities (1,0,0) and (c, s, 0)
        // would round s; instead use unit speeds stored directly in the columns.
        PoseColumns columns;
        columns.frames = 2;
        columns.joints = 1;
        columns.speedSq = {1.0, 1.0};
        columns.stillJoint = {0, 0};
        columns.gate = {1.0, 1.0};
        columns.testOrder = {0};
        columns.records = {0, 0, 0, c, 0, 0, 1, 1, /* frame 1 */ 0, 0, 0, 1, 0, 0, 1, 1};
        for (const auto& [name, kernel] : runnableKernels()) {
            double out[2];
            kernel(columns, 0, 0, 2, out);
            EXPECT_EQ(std::isnan(out[1]), std::isnan(std::acos(c))) << c << ' ' << name;
            if (!std::isnan(out[1])) {
                EXPECT_NEAR(out[1], std::acos(c), 1e-15) << name;
            }
        }
    }
}

std::vector<const detail::RowKernels*> runnableKernelSets()
{
    std::vector<const detail::RowKernels*> sets = {&detail::genericKernels()};
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        sets.push_back(&detail::avx2Kernels());
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        sets.push_back(&detail::avx512Kernels());
    return sets;
}

TEST(FastDistance, RowLimitsLeaveOutOnlyPairsPastThem)
{
    const auto poses = syntheticPoses(150, 5, 77);
    PoseColumns columns;
    ASSERT_TRUE(columns.build(poses, static_cast<int32_t>(poses.size())));
    const int32_t n = columns.frames;
    for (const detail::RowKernels* kernels : runnableKernelSets()) {
        SCOPED_TRACE(kernels->name);
        std::vector<double> all(n), above(n), below(n);
        int leftOutAbove = 0, leftOutBelow = 0;
        for (int32_t i = 0; i < n; ++i) {
            RowLimits threshold;
            threshold.above = 60.0;
            RowLimits best;
            best.below = 75.0;
            detail::distanceRowWith(*kernels, columns, i, 0, n, all.data());
            detail::distanceRowWith(*kernels, columns, i, 0, n, above.data(), threshold);
            detail::distanceRowWith(*kernels, columns, i, 0, n, below.data(), best);
            for (int32_t j = 0; j < n; ++j) {
                const double exact = frameDistance(poses[i], poses[j]);
                if (std::isnan(all[j])) {
                    EXPECT_TRUE(std::isnan(above[j]) && std::isnan(below[j]));
                    continue;
                }
                // A pair is either evaluated exactly as without limits, or past the limit.
                if (std::isnan(above[j])) {
                    ++leftOutAbove;
                    EXPECT_GT(exact, 60.0) << i << ' ' << j;
                } else {
                    EXPECT_EQ(above[j], all[j]);
                }
                if (std::isnan(below[j])) {
                    ++leftOutBelow;
                    EXPECT_LT(exact, 75.0) << i << ' ' << j;
                } else {
                    EXPECT_EQ(below[j], all[j]);
                }
            }
        }
        EXPECT_GT(leftOutAbove, 100);
        EXPECT_GT(leftOutBelow, 100);
    }
}

// Records for 2^28 + 8 frames of one joint: 16 GiB of address space, of which only the pages
// touched are ever backed. 32-bit offsets (frame x 8 doubles) wrap from frame 2^28 on.
TEST(FastDistance, KernelsAddressRecordsPastTwoToThe31Doubles)
{
    constexpr size_t kFrames = (size_t(1) << 28) + 8;
    constexpr size_t kBytes = kFrames * PoseColumns::FieldCount * sizeof(double);
    void* memory = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED)
        GTEST_SKIP() << "no 16 GiB of address space here";
    auto* records = static_cast<double*>(memory);
    auto fill = [&](size_t frame, double seed) {
        double* r = records + frame * PoseColumns::FieldCount;
        r[PoseColumns::Px] = seed; r[PoseColumns::Py] = 2.0 * seed; r[PoseColumns::Pz] = -seed;
        r[PoseColumns::Vx] = 1.0; r[PoseColumns::Vy] = seed / 8.0; r[PoseColumns::Vz] = 0.5;
        r[PoseColumns::Speed] = std::sqrt(1.25 + seed * seed / 64.0);
        r[PoseColumns::SpeedSq] = r[PoseColumns::Speed] * r[PoseColumns::Speed];
    };
    fill(0, 9.0);  // the source: faster than every target
    std::vector<int32_t> targets;
    for (size_t f = kFrames - 12; f < kFrames; ++f) {  // across frame 2^28
        fill(f, static_cast<double>(f % 7));
        targets.push_back(static_cast<int32_t>(f));
    }
    std::vector<double> expectedPosition(targets.size()), expectedVelocity(targets.size());
    detail::genericKernels().positions(records, 1, 0, targets.data(), targets.size(), expectedPosition.data());
    detail::genericKernels().velocities(records, 1, 0, targets.data(), targets.size(), expectedVelocity.data());
    for (const detail::RowKernels* kernels : runnableKernelSets()) {
        std::vector<double> position(targets.size()), velocity(targets.size());
        kernels->positions(records, 1, 0, targets.data(), targets.size(), position.data());
        kernels->velocities(records, 1, 0, targets.data(), targets.size(), velocity.data());
        for (size_t s = 0; s < targets.size(); ++s) {
            const double seed = static_cast<double>(targets[s] % 7);
            EXPECT_DOUBLE_EQ(position[s], std::sqrt(6.0) * std::fabs(9.0 - seed)) << kernels->name << s;
            EXPECT_EQ(position[s], expectedPosition[s]) << kernels->name << ' ' << s;
            EXPECT_NEAR(velocity[s], expectedVelocity[s], 1e-12) << kernels->name << ' ' << s;
        }
    }
    munmap(memory, kBytes);
}

} // namespace
} // namespace duolo
