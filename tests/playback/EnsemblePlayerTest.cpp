// Playback of hand-made graphs: the traces below are worked out by hand from the first values of
// the generator (seed 1: 41, 18467, 6334; seed 2: 45, 29216, 24198, 17795).
#include "playback/PlaybackRig.h"

#include "capture/Random.h"
#include "playback/EnsemblePlayer.h"
#include "playback/Placement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo::test {
namespace {

struct Step {
    Graph2DNode* node;
    int32_t frame;
    double offsetX;
};

void expectTrace(EnsemblePlayer& player, const PlaybackRig& rig, const std::vector<Step>& steps)
{
    for (size_t p = 0; p < steps.size(); ++p) {
        player.runPass(rig.ensemble());
        const Group& g = *rig.groups[0];
        EXPECT_EQ(g.currentNode, steps[p].node) << "pass " << p + 1;
        EXPECT_EQ(g.currentNode->currentFrame, steps[p].frame) << "pass " << p + 1;
        EXPECT_DOUBLE_EQ(g.positionOffset.x, steps[p].offsetX) << "pass " << p + 1;
    }
}

TEST(EnsemblePlayer, ClipEndsDrawAmongSuccessorsAndAlignTheNewClip)
{
    PlaybackRig rig;
    Group& g = rig.addGroup(1, 6);
    for (int32_t f = 0; f < 6; ++f) {
        Skeleton& pose = PlaybackRig::pose(g, f);
        pose.origin = Marker(Vec3{10.0 * f, 0, 0}, Vec3{}, f);
        pose.centre.position = Vec3{10.0 * f, 1, 0};
        pose.joints[0].position = Vec3{10.0 * f + 1, 0, 0};
        pose.yaw = 0.1 * f;
    }
    Graph2DNode* a = PlaybackRig::addNode(g, 0, 1);
    Graph2DNode* b = PlaybackRig::addNode(g, 2, 3);
    Graph2DNode* c = PlaybackRig::addNode(g, 4, 5);
    PlaybackRig::link(g, a, b);
    PlaybackRig::link(g, a, c);
    PlaybackRig::link(g, b, a);
    PlaybackRig::link(g, c, a);
    PlaybackRig::link(g, c, b);
    PlaybackRig::startAt(g, a);
    seedRandom(1);

    EnsemblePlayer player;
    // 41 % 2 picks C (second of A's successors); 18467 % 2 picks B (C -> A, C -> B); B has one.
    expectTrace(player, rig, {{a, 1, 0}, {c, 4, -30}, {c, 5, -30}});
    EXPECT_EQ(g.graph->selectedNodes, std::vector<Graph2DNode*>{c});  // the node of the pass
    // Drawn before its step: C's first frame, moved back to where A ended and turned by 0.3.
    const GroupView& view = player.view(0);
    EXPECT_TRUE(view.drawn);
    EXPECT_EQ(view.frame, 4);
    EXPECT_DOUBLE_EQ(view.centre.x, 10.0);
    EXPECT_NEAR(view.joints[0].x, 10.0 + std::cos(0.4 - 0.1), 1e-12);
    EXPECT_NEAR(view.joints[0].z, -std::sin(0.4 - 0.1), 1e-12);
    expectTrace(player, rig, {{b, 2, 0}, {b, 3, 0}, {a, 0, 30}});
    EXPECT_DOUBLE_EQ(g.rotationOffset.y, ((0.1 * 4 - 0.1 * 1) + (0.1 * 2 - 0.1 * 5)) + (0.0 - 0.1 * 3));
    EXPECT_EQ(g.previousNode, b);
    EXPECT_EQ(player.counters().transitions, 3u);
    EXPECT_EQ(player.counters().candidatesTested, 5u);
    EXPECT_EQ(player.counters().resets, 0u);

    // One-frame clips end at every step; the offsets keep adding up (seed 2).
    PlaybackRig one;
    Group& h = one.addGroup(1, 2);
    PlaybackRig::pose(h, 1).origin = Marker(Vec3{5, 0, 2}, Vec3{}, 1);
    Graph2DNode* p = PlaybackRig::addNode(h, 0, 0);
    Graph2DNode* q = PlaybackRig::addNode(h, 1, 1);
    PlaybackRig::link(h, q, q);  // first: an edge into Q would stop a later loop on Q
    PlaybackRig::link(h, p, q);
    PlaybackRig::link(h, q, p);
    PlaybackRig::startAt(h, p);
    seedRandom(2);
    EnsemblePlayer onePlayer;
    // Q's successors are Q, P: 29216 and 24198 are even, 17795 odd.
    expectTrace(onePlayer, one, {{q, 1, -5}, {q, 1, -5}, {q, 1, -5}, {p, 0, 0}});
    EXPECT_EQ(h.previousNode, q);
    EXPECT_EQ(onePlayer.counters().transitions, 4u);
}

TEST(EnsemblePlayer, DeadEndResetsEveryGroup)
{
    PlaybackRig rig;
    Group& g0 = rig.addGroup(1, 4);
    for (int32_t f = 0; f < 4; ++f) {
        Skeleton& pose = PlaybackRig::pose(g0, f);
        pose.origin = Marker(Vec3{1.0 * f, 0, 2.0 * f}, Vec3{}, f);
        pose.pitch = 0.01 * f;
        pose.yaw = 0.1 * f;
        pose.roll = -0.02 * f;
    }
    Graph2DNode* a = PlaybackRig::addNode(g0, 0, 1);
    Graph2DNode* b = PlaybackRig::addNode(g0, 2, 3);
    PlaybackRig::link(g0, a, b);  // b is a dead end
    PlaybackRig::startAt(g0, a);
    g0.positionOffset = Vec3{3, 0, 3};

    Group& g1 = rig.addGroup(2, 6);
    Graph2DNode* x = PlaybackRig::addNode(g1, 3, 5);
    Graph2DNode* z = PlaybackRig::addNode(g1, 0, 1);
    PlaybackRig::addNode(g1, 0, 2);
    PlaybackRig::link(g1, x, x);
    PlaybackRig::startAt(g1, x, 4);
    g1.positionOffset = Vec3{7, 7, 7};
    g1.rotationOffset = Vec3{1, 1, 1};
    seedRandom(1);

    EnsemblePlayer player;
    for (int pass = 0; pass < 3; ++pass)
        player.runPass(rig.ensemble());
    EXPECT_EQ(g0.currentNode, b);
    EXPECT_EQ(g1.currentNode, x);
    EXPECT_EQ(x->currentFrame, 4);
    EXPECT_FALSE(player.isJustReset(0));

    // B ends with nowhere to go: everything restarts from zero offsets on clips starting at
    // frame 0 (the first such in g1's list is Z); g0 then takes A's own displacement and turn,
    // and g1 steps on in the same pass.
    player.runPass(rig.ensemble());
    EXPECT_EQ(player.counters().resets, 1u);
    EXPECT_EQ(g0.currentNode, a);
    EXPECT_EQ(g0.previousNode, a);
    EXPECT_EQ(a->currentFrame, 0);
    EXPECT_EQ(b->currentFrame, 2);
    EXPECT_EQ(g0.positionOffset, (Vec3{1, 0, 2}));
    EXPECT_DOUBLE_EQ(g0.rotationOffset.x, 0.0 - 0.01);
    EXPECT_DOUBLE_EQ(g0.rotationOffset.y, 0.0 - 0.1);
    EXPECT_DOUBLE_EQ(g0.rotationOffset.z, 0.0 - -0.02);
    EXPECT_EQ(g1.currentNode, z);
    EXPECT_EQ(z->currentFrame, 1);
    EXPECT_EQ(x->currentFrame, 3);
    EXPECT_EQ(g1.positionOffset, Vec3{});
    EXPECT_EQ(g1.rotationOffset, Vec3{});
    EXPECT_TRUE(player.isJustReset(0));
    EXPECT_TRUE(player.isJustReset(1));

    // A caller already on a clip from frame 0 stays there; a group with no such clip takes the
    // head of its node list (its current node went to the tail when the pass selected it).
    PlaybackRig other;
    Group& h0 = other.addGroup(1, 2);
    Graph2DNode* only = PlaybackRig::addNode(h0, 0, 1);
    PlaybackRig::startAt(h0, only);
    Group& h1 = other.addGroup(1, 6);
    Graph2DNode* m = PlaybackRig::addNode(h1, 2, 3);
    Graph2DNode* n = PlaybackRig::addNode(h1, 4, 5);
    PlaybackRig::startAt(h1, m);
    EnsemblePlayer otherPlayer;
    otherPlayer.runPass(other.ensemble());
    otherPlayer.runPass(other.ensemble());
    EXPECT_EQ(otherPlayer.counters().resets, 1u);
    EXPECT_EQ(h0.currentNode, only);
    EXPECT_EQ(only->currentFrame, 0);
    EXPECT_EQ(h1.currentNode, n);
    EXPECT_EQ(n->currentFrame, 5);
}

TEST(EnsemblePlayer, JustResetGroupsTakeRejectedSuccessorsInsteadOfResettingForEver)
{
    // A duet facing apart under the rotation constraint: group 1 can never accept its clip.
    PlaybackRig rig;
    rig.constraints.rotationConstraintOn = true;
    Group* groups[2] = {&rig.addGroup(1, 2), &rig.addGroup(1, 2)};
    for (int32_t f = 0; f < 2; ++f)
        PlaybackRig::pose(*groups[1], f).heading = Marker(Vec3{0, 0, -1}, Vec3{}, f);
    Graph2DNode* clips[2];
    for (int i = 0; i < 2; ++i) {
        clips[i] = PlaybackRig::addNode(*groups[i], 0, 1);
        PlaybackRig::link(*groups[i], clips[i], clips[i]);
        PlaybackRig::startAt(*groups[i], clips[i]);
    }
    seedRandom(1);
    EnsemblePlayer player;
    for (int pass = 0; pass < 10; ++pass)
        player.runPass(rig.ensemble());
    // Group 1's clip ends in passes 2, 4, 6, 8 and 10 and is rejected each time: a reset when
    // it has moved on since the last one (2, 6, 10), else the rejected clip is taken (4, 8),
    // which clears its mark. Group 0 (choosing while group 1 is on its last frame) always passes.
    EXPECT_EQ(player.counters().resets, 3u);
    EXPECT_EQ(player.counters().waivedChoices, 2u);
    EXPECT_EQ(player.counters().rejected, 5u);
    EXPECT_EQ(player.counters().rejectedByRotation, 5u);
    EXPECT_EQ(player.counters().rejectedByBalance, 0u);
    EXPECT_EQ(player.counters().transitions, 10u);
    EXPECT_TRUE(player.isJustReset(0));
    EXPECT_TRUE(player.isJustReset(1));
}

TEST(EnsemblePlayer, TapsCountTouchdownsPerContactSetAcrossClipBoundaries)
{
    PlaybackRig rig;
    Group& g = rig.addGroup(3, 4);
    // Heights per frame: set 0 has two samples, set 1 one.
    const double heights[4][3] = {{0.5, 0.5, 0.5}, {1.0, 1.0, 1.0}, {0.72, 0.5, 0.9}, {2, 2, 2}};
    for (int32_t f = 0; f < 4; ++f) {
        const double* h = heights[f];
        PlaybackRig::pose(g, f).contactSets = {{Marker(Vec3{0, h[0], 0}, {}, f), Marker(Vec3{0, h[1], 0}, {}, f)},
                                               {Marker(Vec3{0, h[2], 0}, {}, f)}};
    }
    Graph2DNode* a = PlaybackRig::addNode(g, 0, 1);
    Graph2DNode* b = PlaybackRig::addNode(g, 2, 3);
    PlaybackRig::link(g, a, b);
    PlaybackRig::link(g, b, a);
    PlaybackRig::startAt(g, a);

    EnsemblePlayer player;
    std::vector<int32_t> taps;
    for (int pass = 0; pass < 5; ++pass) {
        player.runPass(rig.ensemble());
        taps.push_back(player.view(0).taps);
    }
    // Frame 0 after A's own last frame (both sets land), 1 (rising), 2 after A's last frame
    // (set 0 lands, exactly at 0.72 counting as down; set 1 stays up), 3, then 0 after B's last.
    EXPECT_EQ(taps, (std::vector<int32_t>{2, 0, 1, 0, 2}));

    // Not playing: drawn, not heard, not moved.
    player.runPass(rig.ensemble(), {.playing = false});
    EXPECT_EQ(player.view(0).taps, 0);
    EXPECT_EQ(a->currentFrame, 1);
}

TEST(EnsemblePlayer, GroupsWithoutNodesStandAsideAndOneShownGroupStillLetsAllPlay)
{
    PlaybackRig rig;
    Group& g0 = rig.addGroup(1, 3);
    Graph2DNode* a = PlaybackRig::addNode(g0, 0, 2);
    PlaybackRig::link(g0, a, a);
    PlaybackRig::startAt(g0, a);
    for (Skeleton& pose : rig.addGroup(1, 3).worldPoses)  // no graph nodes
        pose.centre.position.y = 5.0;
    Group& g2 = rig.addGroup(1, 3);
    Graph2DNode* c = PlaybackRig::addNode(g2, 0, 2);
    PlaybackRig::link(g2, c, c);
    PlaybackRig::startAt(g2, c);
    rig.constraints.balanceConstraintOn = rig.constraints.rotationConstraintOn = true;

    EnsemblePlayer player;
    player.runPass(rig.ensemble(), {.playing = true, .showAllGroups = false, .selectedGroup = 2});
    EXPECT_FALSE(player.view(0).drawn);
    EXPECT_FALSE(player.view(1).drawn);
    EXPECT_TRUE(player.view(2).drawn);
    EXPECT_EQ(a->currentFrame, 1);
    EXPECT_EQ(c->currentFrame, 1);
    for (int pass = 0; pass < 4; ++pass)
        player.runPass(rig.ensemble());
    EXPECT_EQ(a->currentFrame, 2);
    EXPECT_FALSE(player.view(1).drawn);
    EXPECT_DOUBLE_EQ(player.balance().centreOfMass.y, 1.0);  // the two playing groups only

    player.frameForward(rig.ensemble());  // both clips end and start again
    EXPECT_EQ(c->currentFrame, 0);
    EXPECT_FALSE(player.frameBack(rig.ensemble()));
    player.frameForward(rig.ensemble());
    EXPECT_TRUE(player.frameBack(rig.ensemble()));
    EXPECT_EQ(a->currentFrame, 0);
    EXPECT_EQ(c->currentFrame, 0);
}

} // namespace
} // namespace duolo::test
