// The fast paths against the straightforward definition on the shared real takes (skipped
// without them). The full-size comparison is the benchmark's; here a prefix of each take keeps
// the straightforward loops short.
#include "session/MotionCaptureSession.h"
#include "capture/Random.h"
#include "motiongraph/FrameDistance.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/LocomotionTake.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "motiongraph/PoseColumns.h"
#include "motiongraph/RowKernels.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo {
namespace {

struct Take {
    std::unique_ptr<MotionCaptureSession> session;
    Group* group = nullptr;
};

// Loaded once per test program: reading and posing a take is the slow part.
const Take& locomotion()
{
    static Take take = [] {
        Take t;
        t.session = std::make_unique<MotionCaptureSession>();
        t.group = test::buildLocomotionGroup(*t.session, test::sharedDataDir() / "hdm05_mm_locomotion");
        return t;
    }();
    return take;
}

const Take& dance()
{
    static Take take = [] {
        Take t;
        t.session = std::make_unique<MotionCaptureSession>();
        t.group = test::buildDanceGroup(*t.session, test::sharedDataDir() / "c3dorg_phoenix_dance");
        return t;
    }();
    return take;
}

// A copy of the first `frames` poses as a group of its own.
std::unique_ptr<Group> prefix(const Group& source, int32_t frames)
{
    frames = std::min(frames, source.frameCount);
    auto g = std::make_unique<Group>(-1, source.groupNumber, frames);
    g->normalisedPoses.assign(source.normalisedPoses.begin(), source.normalisedPoses.begin() + frames);
    return g;
}

void expectSameGraph(const Graph2D& a, const Graph2D& b)
{
    ASSERT_EQ(a.nodeCount(), b.nodeCount());
    ASSERT_EQ(a.edgeCount(), b.edgeCount());
    for (int32_t k = 0; k < a.nodeCount(); ++k) {
        EXPECT_EQ(a.nodes[k]->startFrame, b.nodes[k]->startFrame) << k;
        EXPECT_EQ(a.nodes[k]->endFrame, b.nodes[k]->endFrame) << k;
        EXPECT_EQ(a.nodes[k]->id, b.nodes[k]->id) << k;
    }
    for (int32_t k = 0; k < a.edgeCount(); ++k) {
        EXPECT_EQ(a.edges[k]->from->id, b.edges[k]->from->id) << k;
        EXPECT_EQ(a.edges[k]->to->id, b.edges[k]->to->id) << k;
    }
}

class RealTake : public ::testing::TestWithParam<const char*> {
protected:
    const Group* group = nullptr;
    void SetUp() override
    {
        if (!test::haveSharedData() ||
            !std::filesystem::is_directory(test::sharedDataDir() / GetParam()))
            GTEST_SKIP() << "shared takes not available";
        const Take& take = std::string(GetParam()) == "hdm05_mm_locomotion" ? locomotion() : dance();
        ASSERT_NE(take.group, nullptr);
        group = take.group;
    }
};

TEST_P(RealTake, DistanceRowsMatchTheDefinition)
{
    const int32_t frames = std::min(1500, group->frameCount);
    PoseColumns columns;
    ASSERT_TRUE(columns.build(group->normalisedPoses, frames));
    std::vector<double> expected(static_cast<size_t>(frames) * frames);
    for (int32_t i = 0; i < frames; i += 11)
        for (int32_t j = 0; j < frames; ++j)
            expected[static_cast<size_t>(i) * frames + j] =
                frameDistance(group->normalisedPoses[i], group->normalisedPoses[j]);
    std::vector<double> row(frames);
    for (const auto& [name, kernel] : test::runnableKernels()) {
        SCOPED_TRACE(name);
        int64_t finite = 0, total = 0;
        for (int32_t i = 0; i < frames; i += 11) {
            kernel(columns, i, 0, frames, row.data());
            for (int32_t j = 0; j < frames; ++j) {
                const double e = expected[static_cast<size_t>(i) * frames + j];
                ++total;
                ASSERT_EQ(std::isnan(row[j]), std::isnan(e)) << i << ' ' << j;
                if (!std::isnan(e)) {
                    ++finite;
                    ASSERT_LE(std::fabs(row[j] - e), 1e-12 * std::fabs(e)) << i << ' ' << j;
                }
            }
        }
        // Most pairs of a real take are not a number; enough are left to mean something.
        EXPECT_GT(finite, 200);
        EXPECT_LT(finite, total / 2);
    }
}

TEST_P(RealTake, LargestDistanceMatches)
{
    auto exact = prefix(*group, 700);
    auto fast = prefix(*group, 700);
    ASSERT_TRUE(computeMaxFrameDistance(*exact, DistanceEngine::Exact));
    ASSERT_TRUE(computeMaxFrameDistance(*fast, DistanceEngine::Fast));
    EXPECT_GT(exact->maxFrameDistance, 0.0);
    EXPECT_LE(std::fabs(fast->maxFrameDistance - exact->maxFrameDistance), 1e-12 * exact->maxFrameDistance);
}

TEST_P(RealTake, GraphsAreIdentical)
{
    struct Parameters {
        int gaps;
        double threshold;
    };
    for (const Parameters& p : {Parameters{10, 100.0}, Parameters{3, 60.0}, Parameters{20, 150.0}}) {
        setRandomClock([] { return 1000u; });
        auto exact = prefix(*group, 600);
        auto fast = prefix(*group, 600);
        ASSERT_TRUE(createEntireMotionGraph(*exact, p.gaps, p.threshold, {DistanceEngine::Exact, {}}));
        ASSERT_TRUE(createEntireMotionGraph(*fast, p.gaps, p.threshold, {DistanceEngine::Fast, {}}));
        setRandomClock(nullptr);
        SCOPED_TRACE(testing::Message() << "gaps " << p.gaps << ", threshold " << p.threshold);
        expectSameGraph(*exact->graph, *fast->graph);
        EXPECT_GT(exact->graph->nodeCount(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(SharedTakes, RealTake, ::testing::Values("hdm05_mm_locomotion", "c3dorg_phoenix_dance"));

} // namespace
} // namespace duolo
