// The rotation and balance tests and the placement they rely on, on hand-made poses.
#include "playback/PlaybackRig.h"

#include "capture/Random.h"
#include "playback/Constraints.h"
#include "playback/EnsemblePlayer.h"
#include "playback/Placement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo::test {
namespace {

constexpr double kQuarterTurn = 1.5707963267948966;

TEST(PlaybackPlacement, ParentedGroupsRideOnTheirParentAndTheirSupportFollows)
{
    PlaybackRig rig;
    Group& q = rig.addGroup(1, 2);
    Group& g = rig.addGroup(3, 2);
    g.parent = &q;
    PlaybackRig::pose(q, 0).origin = Marker(Vec3{2, 0, 0}, {}, 0);
    PlaybackRig::pose(q, 1).origin = Marker(Vec3{10, 0, 5}, {}, 1);
    PlaybackRig::pose(g, 0).origin = Marker(Vec3{5, 0, 0}, {}, 0);  // d = (3, 0, 0)
    PlaybackRig::pose(g, 1).origin = Marker(Vec3{6, 0, 1}, {}, 1);
    Graph2DNode* qn = PlaybackRig::addNode(q, 0, 1);
    PlaybackRig::startAt(q, qn, 1);
    PlaybackRig::startAt(g, PlaybackRig::addNode(g, 0, 1), 1);
    q.positionOffset = Vec3{1, 9, 1};
    q.rotationOffset.y = kQuarterTurn;

    // A quarter turn takes (x, y, z) to (z, y, -x).
    auto near = [](const Vec3& a, const Vec3& b) {
        return std::abs(a.x - b.x) < 1e-12 && std::abs(a.y - b.y) < 1e-12 && std::abs(a.z - b.z) < 1e-12;
    };
    const Skeleton& qp = PlaybackRig::pose(q, 1);
    EXPECT_TRUE(near(placePoint(q, qp, Vec3{11, 3, 5}), Vec3{11, 3, 5}));
    // (7, 2, 1) - r + d = (4, 2, 0), turned (0, 2, -4), on the parent's root and offset.
    Skeleton& gp = PlaybackRig::pose(g, 1);
    EXPECT_TRUE(near(placePoint(g, gp, Vec3{7, 2, 1}), Vec3{11, 2, 2}));

    // Supports: k times the placed support centre, so the centre lies under the drawn feet.
    PlaybackRig::pose(q, 1).support = Marker(Vec3{44, 0, 20}, {}, 0);
    PlaybackRig::pose(q, 1).supportWeight = 4;
    PlaybackRig::setSupport(gp, 7, 1);
    EXPECT_TRUE(near(placedSupportSum(q, qp), Vec3{44, 0, 20}));
    EXPECT_TRUE(near(placedSupportSum(g, gp), Vec3{22, 0, 4}));

    // The overlay's numbers: centres (11, 3, 5) x 1 and (11, 2, 2) x 3 members; supports
    // (11, 5) x 4 and (11, 2) x 2.
    PlaybackRig::pose(q, 1).centre.position = Vec3{11, 3, 5};
    gp.centre.position = Vec3{7, 2, 1};
    rig.constraints.balanceTolerance = 10.0;
    const BalanceReading b = readBalance(rig.ensemble());
    EXPECT_TRUE(near(b.centreOfMass, Vec3{11, 2.25, 2.75}));
    EXPECT_TRUE(near(b.floorPoint, Vec3{11, 0, 2.75}));
    EXPECT_TRUE(b.hasSupport);
    EXPECT_TRUE(near(b.supportCentre, Vec3{11, 0, 4}));
    EXPECT_DOUBLE_EQ(b.contactWeight, 6.0);
    EXPECT_NEAR(b.offset, 1.25, 1e-12);
    EXPECT_DOUBLE_EQ(b.allowedOffset, 6.0 * 10.0 * 0.1);
    EXPECT_TRUE(b.balanced);

    // The parent's own yaw turns the child's heading too; an impossible dot product gives no angle.
    g.rotationOffset.y = 0.5 - kQuarterTurn;
    const double angle = headingAngle(gp, g, qp, q);  // (sin 0.5, 0, cos 0.5) against (1, 0, 0)
    EXPECT_NEAR(angle, 90.0 - 0.5 * 57.29577951308232, 1e-9);
    PlaybackRig::pose(q, 0).heading = Marker(Vec3{0, 0, 1.5}, {}, 0);
    PlaybackRig::pose(g, 0).heading = Marker(Vec3{0, 0, 1.5}, {}, 0);
    g.rotationOffset.y = q.rotationOffset.y = 0.0;
    EXPECT_TRUE(std::isnan(headingAngle(PlaybackRig::pose(g, 0), g, PlaybackRig::pose(q, 0), q)));
}

TEST(PlaybackConstraints, RotationLimitZeroAndBalanceToleranceZero)
{
    PlaybackRig rig;
    Group& lead = rig.addGroup(1, 2);
    PlaybackRig::startAt(lead, PlaybackRig::addNode(lead, 0, 1), 1);
    Group& g = rig.addGroup(1, 5);
    Graph2DNode* s = PlaybackRig::addNode(g, 0, 0);
    Graph2DNode* turned = PlaybackRig::addNode(g, 1, 1);
    Graph2DNode* offCentre = PlaybackRig::addNode(g, 2, 2);
    Graph2DNode* noContact = PlaybackRig::addNode(g, 3, 3);
    Graph2DNode* straight = PlaybackRig::addNode(g, 4, 4);
    for (Graph2DNode* n : {turned, offCentre, noContact, straight})
        PlaybackRig::link(g, s, n);
    PlaybackRig::startAt(g, s);
    PlaybackRig::pose(g, 1).heading = Marker(Vec3{1, 0, 0}, {}, 1);
    PlaybackRig::setSupport(PlaybackRig::pose(g, 2), 1, 0);  // the centre is at x = 0
    PlaybackRig::pose(g, 3).centre.position = Vec3{40, 1, 0};
    PlaybackRig::setSupport(PlaybackRig::pose(g, 4), 0, 0);

    rig.constraints.rotationLimit = 0;
    rig.constraints.balanceTolerance = 0.0;
    auto test = [&](Graph2DNode* node) {
        TransitionCandidate c;
        c.node = node;
        const bool rejected = isTransitionRejected(rig.ensemble(), c, g);
        return std::make_tuple(rejected, c.rotationOk, c.balanced, c.largestHeadingAngle);
    };
    // Both constraints off: both tests run, nothing is rejected.
    EXPECT_EQ(test(turned), std::make_tuple(false, false, true, 90.0));
    EXPECT_EQ(test(offCentre), std::make_tuple(false, true, false, 0.0));

    rig.constraints.rotationConstraintOn = rig.constraints.balanceConstraintOn = true;
    EXPECT_EQ(test(turned), std::make_tuple(true, false, true, 90.0));
    EXPECT_EQ(test(offCentre), std::make_tuple(true, true, false, 0.0));
    EXPECT_EQ(test(noContact), std::make_tuple(false, true, true, 0.0));
    EXPECT_EQ(test(straight), std::make_tuple(false, true, true, 0.0));
    // The allowed distance is c x tolerance x 0.1: 2 x 5 x 0.1 = 1 = D passes.
    rig.constraints.balanceTolerance = 5.0;
    EXPECT_EQ(test(offCentre), std::make_tuple(false, true, true, 0.0));
    rig.constraints.balanceTolerance = 0.0;

    // The draw is among what is left, in edge order: seed 3 draws 48, 48 % 2 = 0.
    EnsemblePlayer player;
    seedRandom(3);
    EXPECT_EQ(player.chooseNextNode(rig.ensemble(), 1), noContact);
    EXPECT_EQ(player.counters().candidatesTested, 4u);
    EXPECT_EQ(player.counters().rejectedByRotation, 1u);
    EXPECT_EQ(player.counters().rejectedByBalance, 1u);
}

TEST(PlaybackConstraints, WindowPairsLowerGroupsWithTheirFrameAndHigherWithTheNext)
{
    // Group 0 has advanced in this pass, group 2 has not; group 1 chooses a clip of 4 frames.
    PlaybackRig rig;
    rig.constraints.rotationConstraintOn = rig.constraints.balanceConstraintOn = true;
    rig.constraints.rotationLimit = 10;
    rig.constraints.balanceTolerance = 0.0;
    const Marker sideways(Vec3{1, 0, 0}, {}, 0);
    Group& lower = rig.addGroup(1, 8);
    PlaybackRig::startAt(lower, PlaybackRig::addNode(lower, 0, 5), 3);
    PlaybackRig::pose(lower, 6).heading = sideways;  // past its clip: never looked at
    Group& chooser = rig.addGroup(1, 5);
    PlaybackRig::startAt(chooser, PlaybackRig::addNode(chooser, 0, 0));
    TransitionCandidate candidate;
    candidate.node = PlaybackRig::addNode(chooser, 1, 4);
    Group& higher = rig.addGroup(1, 8);
    Graph2DNode* h = PlaybackRig::addNode(higher, 0, 5);
    PlaybackRig::startAt(higher, h, 3);
    PlaybackRig::pose(higher, 3).heading = sideways;  // already shown: its window starts at 4
    PlaybackRig::pose(higher, 6).heading = sideways;
    EXPECT_FALSE(isTransitionRejected(rig.ensemble(), candidate, chooser));

    // On the last frame of its clip the higher group takes no part in the heading test.
    h->currentFrame = 5;
    PlaybackRig::pose(higher, 5).heading = sideways;
    EXPECT_FALSE(isTransitionRejected(rig.ensemble(), candidate, chooser));

    // Balance: the lower group's clip leaves frames 3..5 (n = 2), the higher one's 4..5 (n = 1).
    PlaybackRig::setSupport(PlaybackRig::pose(lower, 5), 50, 0);
    h->currentFrame = 3;
    EXPECT_TRUE(isBalanced(rig.ensemble(), candidate, chooser));
    // On its last frame the higher group does not shorten the window and holds that frame.
    h->currentFrame = 5;
    EXPECT_FALSE(isBalanced(rig.ensemble(), candidate, chooser));
    PlaybackRig::pose(lower, 5).support.reset();
    PlaybackRig::setSupport(PlaybackRig::pose(higher, 6), 50, 0);
    PlaybackRig::setSupport(PlaybackRig::pose(higher, 7), 50, 0);
    EXPECT_TRUE(isBalanced(rig.ensemble(), candidate, chooser));
    PlaybackRig::setSupport(PlaybackRig::pose(chooser, 3), 50, 0);  // candidate frame 1 + 2
    EXPECT_FALSE(isBalanced(rig.ensemble(), candidate, chooser));
}

} // namespace
} // namespace duolo::test
