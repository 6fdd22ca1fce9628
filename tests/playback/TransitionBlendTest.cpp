// Blending at transitions: only the positions handed out change, never the walk.
#include "playback/PlaybackRig.h"

#include "capture/Random.h"
#include "playback/EnsemblePlayer.h"
#include "playback/PassRecorder.h"
#include "playback/Placement.h"
#include "playback/TransitionBlend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace duolo::test {
namespace {

TEST(TransitionBlend, QuinticStartsWithTheOffsetAndItsVelocityAndSettlesAtZero)
{
    const double x0 = 2.0, v0 = -0.3, T = 10.0, h = 1e-6;
    EXPECT_DOUBLE_EQ(quinticOffset(x0, v0, 0.0, T), x0);
    EXPECT_NEAR((quinticOffset(x0, v0, h, T) - quinticOffset(x0, v0, 0.0, T)) / h, v0, 1e-5);
    EXPECT_NEAR(quinticOffset(x0, v0, T - h, T), 0.0, 1e-9);
    EXPECT_NEAR((quinticOffset(x0, v0, T, T) - quinticOffset(x0, v0, T - h, T)) / h, 0.0, 1e-5);
    EXPECT_EQ(quinticOffset(x0, v0, T + 3, T), 0.0);
}

// One group walking along x at 0.1 a frame whose two clips hold its two members at different
// heights, so that every transition between them jumps by 2 in y.
struct JumpingWalk {
    PlaybackRig rig;
    JumpingWalk()
    {
        Group& g = rig.addGroup(2, 30);
        for (int32_t f = 0; f < 30; ++f) {
            Skeleton& pose = PlaybackRig::pose(g, f);
            const double x = 0.1 * f;
            pose.origin = Marker(Vec3{x, 0, 0}, Vec3{}, f);
            pose.centre.position = Vec3{x, 1, 0};
            pose.joints[0].position = Vec3{x, f < 15 ? 1.0 : 3.0, 0};
            pose.joints[1].position = Vec3{x + 0.5, f < 15 ? 1.0 : 3.0, 0.2};
            // A touchdown in each clip, so that taps take part in the comparison.
            pose.contactSets = {{Marker(Vec3{0, f % 5 == 0 ? 0.0 : 1.0, 0}, Vec3{}, f)}};
        }
        // A (0-9) goes on to B (20-29) or C (10-14); B back to A, C to B.
        Graph2DNode* n[] = {PlaybackRig::addNode(g, 0, 9), PlaybackRig::addNode(g, 20, 29),
                            PlaybackRig::addNode(g, 10, 14)};
        for (auto [from, to] : {std::pair{0, 1}, {0, 2}, {1, 0}, {2, 1}})
            PlaybackRig::link(g, n[from], n[to]);
        PlaybackRig::startAt(g, n[0]);
    }
};

struct Played {
    std::vector<std::vector<double>> states;  // node id, frame, offsets, taps, balance
    std::vector<std::vector<Vec3>> drawn;     // joints then centre
    std::vector<std::vector<Vec3>> recorded;
};

Played play(int32_t blendFrames, bool withBlender)
{
    JumpingWalk walk;
    const Ensemble ensemble = walk.rig.ensemble();
    TransitionBlender blender;
    blender.setFrames(blendFrames);
    PassRecorder recorder(ensemble, blendFrames);
    EnsemblePlayer player;
    seedRandom(5);
    Played out;
    for (int p = 0; p < 200; ++p) {
        recorder.recordPass();
        PassOptions options;
        options.blender = withBlender ? &blender : nullptr;
        player.runPass(ensemble, options);
        const Group& g = ensemble.group(0);
        out.states.push_back({double(g.currentNode->id), double(g.currentNode->currentFrame), g.positionOffset.x,
                              g.positionOffset.z, g.rotationOffset.y, double(player.view(0).taps),
                              player.balance().offset, double(player.counters().transitions)});
        std::vector<Vec3> shown(player.view(0).joints.begin(), player.view(0).joints.end());
        shown.push_back(player.view(0).centre);
        out.drawn.push_back(shown);
    }
    const PlaybackRecording& r = recorder.recording();
    for (int32_t f = 0; f < r.frameCount(); ++f)
        out.recorded.push_back({r.point(f, 0), r.point(f, 1)});
    return out;
}

double largestStep(const std::vector<Vec3>& a, const std::vector<Vec3>& b)
{
    double most = 0.0;
    for (size_t k = 0; k < a.size(); ++k)
        most = std::max(most, std::hypot(b[k].x - a[k].x, b[k].y - a[k].y, b[k].z - a[k].z));
    return most;
}

TEST(TransitionBlend, LeavesTheWalkAloneAndSmoothsOnlyThePositions)
{
    const Played plain = play(0, false);
    const Played off = play(0, true);
    const Played blended = play(10, true);
    // The walk, the offsets, the taps and the balance reading: bit for bit the same.
    EXPECT_EQ(blended.states, plain.states);
    EXPECT_EQ(off.states, plain.states);
    // Blending over 0 frames hands out today's positions.
    EXPECT_EQ(off.drawn, plain.drawn);
    EXPECT_EQ(off.recorded, plain.recorded);
    ASSERT_EQ(plain.recorded.size(), 200u);

    // Unblended, transitions into and out of the raised clip jump by 2; blended, the step at a
    // transition is the step before it, and the offset's decay adds at most 1.875 * 2 / 10.
    double plainMost = 0.0, blendedMost = 0.0;
    int transitions = 0;
    for (size_t p = 1; p + 1 < plain.drawn.size(); ++p) {
        plainMost = std::max(plainMost, largestStep(plain.drawn[p - 1], plain.drawn[p]));
        const double step = largestStep(blended.drawn[p - 1], blended.drawn[p]);
        blendedMost = std::max(blendedMost, step);
        if (plain.states[p][7] != plain.states[p - 1][7]) {
            ++transitions;  // the new clip's first pass: every point moved on by its last step
            EXPECT_NEAR(largestStep(blended.drawn[p], blended.drawn[p + 1]), step, 1e-9) << "pass " << p;
        }
    }
    EXPECT_GT(transitions, 10);
    EXPECT_GT(plainMost, 1.9);
    EXPECT_LT(blendedMost, 0.1 + 1.875 * 2 / 10 + 0.1);
    // The recording of one group is what the view draws, blended the same way.
    for (size_t p = 0; p < blended.drawn.size(); ++p)
        EXPECT_EQ(blended.recorded[p], std::vector<Vec3>(blended.drawn[p].begin(), blended.drawn[p].begin() + 2)) << p;
}

TEST(TransitionBlend, PausedPassesHoldTheBlendAndClearTakesPositionsAsTheyAre)
{
    JumpingWalk walk;
    Group& g = *walk.rig.groups[0];
    TransitionBlender blender;
    blender.setFrames(10);
    auto placed = [&g] {
        const Skeleton& pose = currentPose(g);
        return std::vector<Vec3>{placePoint(g, pose, pose.joints[0].position), placePoint(g, pose, pose.joints[1].position)};
    };
    auto shown = [&] {
        std::vector<Vec3> p = placed();
        blender.apply(0, g, p);
        return p;
    };
    shown();
    g.currentNode->currentFrame = 9;  // a jump to another frame of the same clip: blended
    const std::vector<Vec3> blended = shown();
    EXPECT_TRUE(blender.blending(0));
    EXPECT_NE(blended, placed());
    EXPECT_EQ(shown(), blended);  // paused: the same frame, the same blend step
    blender.clear();
    EXPECT_EQ(shown(), placed());
    EXPECT_FALSE(blender.blending(0));
}

} // namespace
} // namespace duolo::test
