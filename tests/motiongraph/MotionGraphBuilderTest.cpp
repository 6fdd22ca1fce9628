#include "capture/Random.h"
#include "motiongraph/Graph2D.h"
#include "motiongraph/MotionGraphBuilder.h"
#include "skeleton/Group.h"
#include "skeleton/Skeleton.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace duolo {
namespace {

using test::FixedClock;

// A one-joint body moving along x with a constant velocity (1, 0, 0) and positions repeating
// with the given period: every angle and magnitude term is exactly 0, so the distance of two
// frames is |x_i - x_j| exactly, and 0 precisely for frames a whole number of periods apart.
std::unique_ptr<Group> periodicGroup(int frames, int period, int groupNumber = 0)
{
    auto group = std::make_unique<Group>(-1, groupNumber, frames);
    for (int f = 0; f < frames; ++f) {
        Skeleton s(1);
        s.joints[0] = Marker({double(f % period), 0, 0}, {1, 0, 0}, f);
        group->normalisedPoses.push_back(std::move(s));
    }
    return group;
}

struct Clip {
    int32_t start, end;
    friend bool operator==(const Clip&, const Clip&) = default;
};
using EdgeIds = std::vector<std::pair<int32_t, int32_t>>;

std::vector<Clip> clips(const Graph2D& g)
{
    std::vector<Clip> out;
    for (const Graph2DNode* n : g.nodes)
        out.push_back({n->startFrame, n->endFrame});
    return out;
}

EdgeIds edgeIds(const Graph2D& g)
{
    EdgeIds out;
    for (const Graph2DEdge* e : g.edges)
        out.emplace_back(e->from->id, e->to->id);
    return out;
}

void expectSameGraph(const Graph2D& a, const Graph2D& b)
{
    EXPECT_EQ(clips(a), clips(b));
    EXPECT_EQ(edgeIds(a), edgeIds(b));
}

const DistanceEngine kEngines[] = {DistanceEngine::Exact, DistanceEngine::Fast};

TEST(TransitionSearch, SkipRuleOnAPeriodicMotion)
{
    // Period 4, gaps 2 (skip 1), threshold 0: worked out by hand from the search rules.
    auto group = periodicGroup(12, 4);
    for (DistanceEngine engine : kEngines) {
        std::vector<FrameLink> links;
        ASSERT_TRUE(findTransitions(group->normalisedPoses, 12, 2, 0.0, {engine, {}}, links));
        const std::vector<FrameLink> expected = {{1, 5}, {1, 9}, {3, 7}, {3, 11}, {5, 9}, {5, 1},
                                                 {7, 11}, {7, 3}, {9, 1}, {9, 5}, {11, 3}, {11, 7}};
        EXPECT_EQ(links, expected);
    }
}

TEST(TransitionSearch, TwoHitsInARowAreGapsApart)
{
    // Every frame is as close as can be: hits at j and j + G, nothing in between; sources
    // skip likewise. Gaps 3, six frames: source 2 -> 5; then source 6 is past the end.
    auto group = periodicGroup(12, 1);
    std::vector<FrameLink> links;
    ASSERT_TRUE(findTransitions(group->normalisedPoses, 12, 3, 0.0, {}, links));
    const std::vector<FrameLink> expected = {{2, 5}, {2, 8}, {2, 11}, {5, 8}, {5, 11}, {5, 0},
                                             {8, 11}, {8, 0}, {8, 3}, {11, 0}, {11, 3}, {11, 6}};
    EXPECT_EQ(links, expected);
}

TEST(TransitionSearch, GapsBelowOneActAsOne)
{
    auto group = periodicGroup(6, 1);
    for (DistanceEngine engine : kEngines) {
        std::vector<FrameLink> one, zero, negative;
        ASSERT_TRUE(findTransitions(group->normalisedPoses, 6, 1, 0.0, {engine, {}}, one));
        ASSERT_TRUE(findTransitions(group->normalisedPoses, 6, 0, 0.0, {engine, {}}, zero));
        ASSERT_TRUE(findTransitions(group->normalisedPoses, 6, -5, 0.0, {engine, {}}, negative));
        EXPECT_EQ(zero, one);
        EXPECT_EQ(negative, one);
        // With gaps 1 the next frame is a candidate, the previous one never (j < i - 1).
        ASSERT_FALSE(one.empty());
        EXPECT_EQ(one.front(), (FrameLink{0, 1}));
        for (const auto& [i, j] : one)
            EXPECT_NE(j, i - 1);
    }
}

TEST(MotionGraph, PeriodicMotionGivesOneNodePerFrame)
{
    FixedClock clock(42);
    auto group = periodicGroup(12, 4);
    ASSERT_TRUE(createEntireMotionGraph(*group, 2, 0.0));
    const Graph2D& g = *group->graph;
    ASSERT_EQ(g.nodeCount(), 12);
    EXPECT_EQ(g.howManySelectedNodes(), 0);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(g.nodes[k]->id, k);
        EXPECT_EQ(g.nodes[k]->startFrame, k);
        EXPECT_EQ(g.nodes[k]->endFrame, k);
    }
    // Per target frame: the transitions into it in the order found, then the continuation.
    const EdgeIds expected = {{5, 1}, {9, 1}, {0, 1}, {1, 2}, {7, 3}, {11, 3}, {2, 3}, {3, 4},
                              {1, 5}, {9, 5}, {4, 5}, {5, 6}, {3, 7}, {11, 7}, {6, 7}, {7, 8},
                              {1, 9}, {5, 9}, {8, 9}, {9, 10}, {3, 11}, {7, 11}, {10, 11}};
    EXPECT_EQ(edgeIds(g), expected);
    EXPECT_EQ(group->currentNode, g.nodes[0]);
    EXPECT_EQ(group->previousNode, g.nodes[0]);
}

TEST(MotionGraph, BackwardTransitionBecomesASelfLoop)
{
    // Period 4, gaps 5: the only hit is 8 -> 0, which closes the run [0, 8]; the rest is a
    // dead end. The transition back to the run's own start is a self-loop.
    FixedClock clock(42);
    for (DistanceEngine engine : kEngines) {
        auto group = periodicGroup(12, 4);
        ASSERT_TRUE(createEntireMotionGraph(*group, 5, 0.0, {engine, {}}));
        const Graph2D& g = *group->graph;
        EXPECT_EQ(clips(g), (std::vector<Clip>{{0, 8}, {9, 11}}));
        EXPECT_EQ(edgeIds(g), (EdgeIds{{0, 0}, {0, 1}}));
        EXPECT_EQ(g.nodes[0]->incidentEdges.size(), 2u);
    }
}

TEST(MotionGraph, ThresholdBelowEveryDistanceGivesOneNode)
{
    FixedClock clock(9);
    auto group = periodicGroup(30, 4);
    ASSERT_TRUE(createEntireMotionGraph(*group, 3, -1.0));
    EXPECT_EQ(clips(*group->graph), (std::vector<Clip>{{0, 29}}));
    EXPECT_EQ(group->graph->edgeCount(), 0);

    auto single = periodicGroup(1, 4);
    ASSERT_TRUE(createEntireMotionGraph(*single, 3, 100.0));
    EXPECT_EQ(clips(*single->graph), (std::vector<Clip>{{0, 0}}));

    auto empty = periodicGroup(0, 4);
    ASSERT_TRUE(createEntireMotionGraph(*empty, 3, 100.0));
    EXPECT_EQ(empty->graph->nodeCount(), 0);
    EXPECT_EQ(empty->currentNode, nullptr);
}

TEST(MotionGraph, LastFrameAsASourceGetsNoContinuation)
{
    // Period 4 over 10 frames with gaps 2: frame 9 is a source (9 -> 1, 9 -> 5) and the last
    // frame. Nothing may refer to a frame 10, and no message may appear.
    FixedClock clock(5);
    test::CapturedMessages messages;
    auto group = periodicGroup(10, 4);
    ASSERT_TRUE(createEntireMotionGraph(*group, 2, 0.0));
    EXPECT_TRUE(messages.messages.empty());
    const Graph2D& g = *group->graph;
    ASSERT_FALSE(g.nodes.empty());
    EXPECT_EQ(g.nodes.back()->startFrame, 9);
    EXPECT_EQ(g.nodes.back()->endFrame, 9);
    for (const Graph2DEdge* e : g.edges)
        EXPECT_LE(e->to->endFrame, 9);
}

TEST(MotionGraph, RandomPlacementFollowsTheGroupsQuadrant)
{
    struct Case {
        int number;
        int xSign, ySign;
    };
    for (const Case& c : {Case{0, -1, 1}, Case{1, 1, 1}, Case{2, 1, -1}, Case{3, -1, -1}, Case{-1, -1, -1}}) {
        for (uint32_t seconds = 100; seconds < 140; ++seconds) {
            FixedClock clock(seconds);
            // No transitions: one node from the scan's last rule, placed at random.
            auto group = periodicGroup(5, 5, c.number);
            ASSERT_TRUE(createEntireMotionGraph(*group, 2, -1.0));
            ASSERT_EQ(group->graph->nodeCount(), 1);
            const Graph2DNode* n = group->graph->nodes[0];
            EXPECT_EQ(n->x, std::round(n->x));
            EXPECT_EQ(n->y, std::round(n->y));
            EXPECT_LE(std::fabs(n->x), 29.0);
            EXPECT_LE(std::fabs(n->y), 29.0);
            EXPECT_GE(n->x * c.xSign, 0.0) << c.number;
            EXPECT_GE(n->y * c.ySign, 0.0) << c.number;
        }
    }
}

TEST(MotionGraph, GroupMessageForASingleFrameTake)
{
    FixedClock clock(8);
    test::CapturedMessages messages;
    auto group = periodicGroup(1, 5, 4);  // the single frame is placed by the last-frame rule
    ASSERT_TRUE(createEntireMotionGraph(*group, 2, -1.0));
    EXPECT_EQ(messages.messages, std::vector<std::string>{"Group 4"});
    test::CapturedMessages none;
    auto longer = periodicGroup(5, 5, 4);  // placed by the end-of-take rule: no message
    ASSERT_TRUE(createEntireMotionGraph(*longer, 2, -1.0));
    EXPECT_TRUE(none.messages.empty());
}

TEST(MotionGraph, GroupMessagesOnlyForRunsEndingBeforeATarget)
{
    // The periodic graph of period 4, gaps 2 has six nodes closed by a transition target
    // ([0,0], [2,2], ... [10,10]) and six sources: six messages for group 3.
    FixedClock clock(42);
    test::CapturedMessages messages;
    auto group = periodicGroup(12, 4, 3);
    ASSERT_TRUE(createEntireMotionGraph(*group, 2, 0.0));
    EXPECT_EQ(messages.messages, std::vector<std::string>(6, "Group 3"));

    // Runs closed by a source or the end carry no message.
    test::CapturedMessages quiet;
    auto other = periodicGroup(12, 4, 4);
    ASSERT_TRUE(createEntireMotionGraph(*other, 5, 0.0));
    EXPECT_TRUE(quiet.messages.empty());
}

TEST(MotionGraph, PlacementDrawsYThenX)
{
    // Threshold below everything: one node placed by the scan's last rule, from two draws
    // straight after the graph's seeding.
    FixedClock clock(1234);
    seedRandom(1234);
    const int first = nextRandom();
    const int second = nextRandom();
    auto group = periodicGroup(5, 5, 1);  // + x, + y
    ASSERT_TRUE(createEntireMotionGraph(*group, 1, -1.0));
    ASSERT_EQ(group->graph->nodeCount(), 1);
    EXPECT_EQ(group->graph->nodes[0]->y, first % 30);
    EXPECT_EQ(group->graph->nodes[0]->x, second % 30);
}

TEST(MotionGraph, SecondBuildAddsNodesWithoutEdgesOfTheirOwn)
{
    FixedClock clock(42);
    auto group = periodicGroup(12, 4);
    ASSERT_TRUE(createEntireMotionGraph(*group, 5, 0.0));
    sendToGraph(*group, 3, 6);  // left selected: stands before the second build's nodes
    EXPECT_EQ(group->graph->howManySelectedNodes(), 1);
    ASSERT_TRUE(createEntireMotionGraph(*group, 5, 0.0));
    const Graph2D& g = *group->graph;
    EXPECT_EQ(clips(g), (std::vector<Clip>{{0, 8}, {9, 11}, {3, 6}, {0, 8}, {9, 11}}));
    // The second build's links land on the first build's nodes, which already have them.
    EXPECT_EQ(edgeIds(g), (EdgeIds{{0, 0}, {0, 1}}));
    EXPECT_EQ(group->currentNode, g.nodes[0]);
}

TEST(MotionGraph, CancelledBuildLeavesTheGraphAlone)
{
    for (DistanceEngine engine : kEngines) {
        auto group = periodicGroup(50, 4);
        std::atomic<bool> cancel{true};
        GraphBuildOptions options{engine, {}};
        options.run.cancel = &cancel;
        EXPECT_FALSE(createEntireMotionGraph(*group, 2, 0.0, options));
        EXPECT_EQ(group->graph->totalNodeCount(), 0);
    }
}

TEST(MotionGraph, CancelDuringTheSearchStopsIt)
{
    for (DistanceEngine engine : kEngines) {
        auto group = periodicGroup(400, 1);  // hits everywhere: many sources to search
        std::atomic<bool> cancel{false};
        double last = 0.0;
        GraphBuildOptions options{engine, {}};
        options.run.cancel = &cancel;
        options.run.progress = [&](double fraction) {
            EXPECT_GE(fraction, last);
            last = fraction;
            if (fraction > 0.3)
                cancel = true;
        };
        EXPECT_FALSE(createEntireMotionGraph(*group, 2, 0.0, options));
        EXPECT_GT(last, 0.3);
        EXPECT_LT(last, 1.0);
        EXPECT_EQ(group->graph->totalNodeCount(), 0);
        EXPECT_EQ(group->currentNode, nullptr);
    }
}

// Random walk poses whose distances straddle the threshold: the two engines must build the
// identical graph (node clips and order, edges and order).
TEST(MotionGraph, EnginesBuildTheSameGraphOnSyntheticMotion)
{
    std::mt19937_64 random(17);
    std::normal_distribution<double> noise(0.0, 0.05);
    const int frames = 600, joints = 4;
    auto makeGroup = [&](const std::vector<Skeleton>& poses) {
        auto g = std::make_unique<Group>(-1, 1, frames);
        g->normalisedPoses = poses;
        return g;
    };
    std::vector<Skeleton> poses;
    for (int f = 0; f < frames; ++f) {
        Skeleton s(joints);
        const double phase = f * 2 * M_PI / 37.0;
        for (int k = 0; k < joints; ++k) {
            const double amp = 1.0 + 0.3 * k;
            const Vec3 p{amp * std::cos(phase + k) + noise(random), amp * std::sin(phase + k), noise(random)};
            const Vec3 v{-amp * std::sin(phase + k) * (1 + noise(random)), amp * std::cos(phase + k),
                         noise(random)};
            s.joints[k] = Marker(p, v, f);
        }
        poses.push_back(std::move(s));
    }
    for (double threshold : {2.0, 4.0, 8.0}) {
        for (int gaps : {1, 4, 10}) {
            FixedClock clock(99);
            auto exact = makeGroup(poses);
            auto fast = makeGroup(poses);
            ASSERT_TRUE(createEntireMotionGraph(*exact, gaps, threshold, {DistanceEngine::Exact, {}}));
            ASSERT_TRUE(createEntireMotionGraph(*fast, gaps, threshold, {DistanceEngine::Fast, {}}));
            expectSameGraph(*exact->graph, *fast->graph);
            if (threshold == 4.0 && gaps == 10) {
                EXPECT_GT(exact->graph->edgeCount(), 10);
            }
        }
    }
}

} // namespace
} // namespace duolo
