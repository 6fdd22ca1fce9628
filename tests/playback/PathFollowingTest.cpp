// Path following on a hand-made graph whose clips walk in known directions.
#include "playback/PlaybackRig.h"

#include "playback/EnsemblePlayer.h"
#include "playback/PathFollowing.h"
#include "playback/Placement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo::test {
namespace {

TEST(FloorPath, ArcLengthAndDistance)
{
    const FloorPath path({{0, 0}, {4, 0}, {4, 3}});
    EXPECT_DOUBLE_EQ(path.length(), 7.0);
    EXPECT_DOUBLE_EQ(path.at(2.0).x, 2.0);
    EXPECT_DOUBLE_EQ(path.at(5.0).z, 1.0);
    EXPECT_DOUBLE_EQ(path.at(9.0).z, 3.0);  // held at the end
    EXPECT_DOUBLE_EQ(path.distanceTo(2.0, -1.5), 1.5);
    EXPECT_DOUBLE_EQ(path.distanceTo(6.0, 2.0), 2.0);
    // A closed path: near its start, progress stays near where it was.
    const FloorPath loop({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}});
    EXPECT_DOUBLE_EQ(loop.arcOfNearest(0.0, 0.5, 0.0, 2.0), 0.0);
    EXPECT_DOUBLE_EQ(loop.arcOfNearest(0.0, 0.5, 15.0, 2.0), 15.5);
    EXPECT_DOUBLE_EQ(loop.arcOfNearest(3.0, -1.0, 1.0, 5.0), 3.0);
}

// Clip A walks along +x, B along +z and C along -x, one unit a frame; each may follow any.
struct Compass {
    PlaybackRig rig;
    Graph2DNode *a, *b, *c;
    Compass()
    {
        Group& g = rig.addGroup(1, 30);
        for (int32_t f = 0; f < 30; ++f) {
            const Vec3 root = f < 10 ? Vec3{double(f), 0, 0} : f < 20 ? Vec3{9, 0, double(f - 10)} : Vec3{double(29 - f), 0, 9};
            PlaybackRig::pose(g, f).origin = Marker(root, Vec3{}, f);
            PlaybackRig::pose(g, f).joints[0].position = root;
        }
        a = PlaybackRig::addNode(g, 0, 9);
        b = PlaybackRig::addNode(g, 10, 19);
        c = PlaybackRig::addNode(g, 20, 29);
        // Self-loops first: an edge into a node keeps addEdge from adding its loop.
        for (Graph2DNode* n : {a, b, c})
            PlaybackRig::link(g, n, n);
        for (Graph2DNode* from : {a, b, c})
            for (Graph2DNode* to : {a, b, c})
                if (from != to)
                    PlaybackRig::link(g, from, to);
        PlaybackRig::startAt(g, a);
    }
    Group& group() { return *rig.groups[0]; }
};

// The rig's group 0 steered along an L of two 27-unit legs, looking 20 frames ahead.
struct SteeredAlongL {
    PathFollower follower;
    EnsemblePlayer player;
    Ensemble ensemble;
    explicit SteeredAlongL(PlaybackRig& rig)
        : follower(*rig.groups[0], FloorPath({{0, 0}, {27, 0}, {27, 27}}), PathSearchSettings{20}),
          ensemble(rig.ensemble())
    {
        player.setSteering(0, &follower);
    }
    // Tells the follower where the root is, then plays one pass; returns the root's distance
    // from the path.
    double pass()
    {
        const Group& g = ensemble.group(0);
        const Vec3 root = placePoint(g, currentPose(g), rootOf(currentPose(g)));
        follower.moveRootTo(root.x, root.z);
        player.runPass(ensemble);
        return follower.path().distanceTo(root.x, root.z);
    }
};

TEST(PathFollowing, TheSearchAndTheSteeredWalkStayOnThePathWithinTheRotationConstraint)
{
    Compass k;
    const std::vector<Graph2DNode*> all{k.a, k.b, k.c};
    // From where A ends (9, 0) with 25 frames ahead: straight on along +x is A again and again,
    // turning left is B, and back along -x is C, unless only the clips offered first may start.
    auto plan = [&](std::vector<FloorPath::Point> points, const std::vector<Graph2DNode*>& offered) {
        PathFollower follower(k.group(), FloorPath(std::move(points)), PathSearchSettings{25});
        return follower.search(*k.a, {}, 9, 9, 0, offered);
    };
    EXPECT_EQ(plan({{0, 0}, {60, 0}}, all), (std::vector<Graph2DNode*>{k.a, k.a, k.a}));
    EXPECT_EQ(plan({{0, 0}, {9, 0}, {9, 60}}, all), (std::vector<Graph2DNode*>{k.b, k.b, k.b}));
    EXPECT_EQ(plan({{0, 0}, {9, 0}, {-60, 0}}, all).front(), k.c);
    EXPECT_NE(plan({{0, 0}, {9, 0}, {-60, 0}}, {k.a, k.b}).front(), k.c);

    SteeredAlongL s(k.rig);
    double most = 0.0;
    for (int p = 0; p < 200 && s.follower.travelled() < s.follower.path().length(); ++p)
        most = std::max(most, s.pass());
    EXPECT_GE(s.follower.travelled(), s.follower.path().length());
    EXPECT_LT(most, 1e-9);  // A, A, A then B, B, B: exactly on the path
    EXPECT_GT(s.follower.searches(), 0);

    // With the rotation constraint: B's clip faces across a second body that faces +z
    // throughout, 90 degrees apart.
    Compass r;
    for (int32_t f = 10; f < 20; ++f)
        PlaybackRig::pose(r.group(), f).heading = Marker(Vec3{1, 0, 0}, Vec3{}, f);
    Group& other = r.rig.addGroup(1, 30);
    Graph2DNode* still = PlaybackRig::addNode(other, 0, 29);
    PlaybackRig::link(other, still, still);
    PlaybackRig::startAt(other, still);
    r.rig.constraints.rotationConstraintOn = true;
    r.rig.constraints.rotationLimit = 45;

    SteeredAlongL constrained(r.rig);
    // B is taken only as the waiver after a reset takes any successor, never by the search.
    int steps = 0;
    for (int p = 0; p < 120; ++p) {
        const Graph2DNode* before = r.group().currentNode;
        const uint64_t waived = constrained.player.counters().waivedChoices;
        constrained.pass();
        if (r.group().currentNode == r.b && before != r.b) {
            EXPECT_GT(constrained.player.counters().waivedChoices, waived) << "pass " << p;
            ++steps;
        }
    }
    EXPECT_LT(steps, 3);
    EXPECT_GT(constrained.player.counters().rejectedByRotation, 0u);
    EXPECT_GT(constrained.follower.searches(), 0);
}

// Clip A walks along +x facing ahead; clip B walks along +x too but was recorded facing a
// quarter turn away, so a change from A to B turns the body by a quarter turn.
struct QuarterTurn {
    PlaybackRig rig;
    Graph2DNode *a, *b;
    QuarterTurn()
    {
        Group& g = rig.addGroup(2, 20);
        for (int32_t f = 0; f < 20; ++f) {
            const Vec3 root{double(f % 10), 0, 0};
            Skeleton& pose = PlaybackRig::pose(g, f);
            pose.origin = Marker(root, Vec3{}, f);
            pose.joints[0].position = root;
            pose.joints[1].position = root + Vec3{0, 1, 1};
            pose.yaw = f < 10 ? 0.0 : -std::acos(0.0);
        }
        a = PlaybackRig::addNode(g, 0, 9);
        b = PlaybackRig::addNode(g, 10, 19);
        for (auto [from, to] : {std::pair{a, a}, {b, b}, {a, b}, {b, a}})
            PlaybackRig::link(g, from, to);
        PlaybackRig::startAt(g, a);
    }
    Group& group() { return *rig.groups[0]; }
    Vec3 placedRoot() { return placePoint(group(), currentPose(group()), rootOf(currentPose(group()))); }
};

TEST(PathFollowing, TurnedTravelWalksTheWayTheBodyFacesAndTheSearchPlansIt)
{
    for (bool turns : {false, true}) {
        QuarterTurn k;
        setTravelTurns(k.group(), turns);
        SteeredAlongL s(k.rig);
        double most = 0.0;
        for (int p = 0; p < 60; ++p) {
            // The body is one rigid piece: its second point stays beside the root, turned with it.
            const Vec3 root = k.placedRoot();
            const Vec3 second = placePoint(k.group(), currentPose(k.group()), currentPose(k.group()).joints[1].position);
            EXPECT_NEAR(std::hypot(second.x - root.x, second.z - root.z), 1.0, 1e-12);
            most = std::max(most, s.pass());
        }
        if (turns)
            EXPECT_LT(most, 1e-9);  // A, A, A, then B turned onto the second leg
        else
            EXPECT_GT(most, 5.0);  // B keeps to +x: the second leg is out of reach
    }
}

TEST(Placement, TurningTravelOnOrOffAndMovingToOriginKeepTheBodyInPlace)
{
    QuarterTurn k;
    Group& g = k.group();
    g.rotationOffset.y = 0.7;
    g.positionOffset = Vec3{3, 5, -2};
    PlaybackRig::startAt(g, k.a, 4);
    const Vec3 before = k.placedRoot();
    setTravelTurns(g, true);
    EXPECT_NEAR(k.placedRoot().x, before.x, 1e-12);
    EXPECT_NEAR(k.placedRoot().z, before.z, 1e-12);
    g.currentNode->currentFrame = 7;  // three frames on, along the turned direction
    EXPECT_NEAR(k.placedRoot().x - before.x, 3 * std::cos(0.7), 1e-12);
    EXPECT_NEAR(k.placedRoot().z - before.z, -3 * std::sin(0.7), 1e-12);
    const Vec3 turned = k.placedRoot();
    setTravelTurns(g, false);
    EXPECT_NEAR(k.placedRoot().x, turned.x, 1e-12);
    EXPECT_NEAR(k.placedRoot().z, turned.z, 1e-12);
    EXPECT_EQ(g.positionOffset.y, 5.0);  // never applied, kept as it was
    setTravelTurns(g, true);
    EnsemblePlayer::moveToOrigin(k.rig.ensemble());
    EXPECT_NEAR(k.placedRoot().x, 7.0, 1e-12);  // the recorded root
    EXPECT_NEAR(k.placedRoot().z, 0.0, 1e-12);
}

} // namespace
} // namespace duolo::test
