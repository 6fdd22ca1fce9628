#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "skeleton/Skeleton.h"
#include "support/SessionBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace duolo {
namespace {

constexpr double kPi = std::numbers::pi;

Marker at(double x, double y, double z) { return Marker(Vec3{x, y, z}, Vec3{}, 0); }

void expectNear(const Vec3& p, Vec3 q)
{
    EXPECT_NEAR(p.x, q.x, 1e-12);
    EXPECT_NEAR(p.y, q.y, 1e-12);
    EXPECT_NEAR(p.z, q.z, 1e-12);
}

TEST(SkeletonNormalise, HeadingAlongX)
{
    Skeleton pose(1);
    pose.setHeading(at(1, 0, 0), at(5, 1, 2));
    EXPECT_NEAR(pose.yaw, -kPi / 2, 1e-15);
    EXPECT_EQ(pose.pitch, 0.0);
    Marker p = at(6, 1, 2);
    pose.setUp(at(0, 1, 0));
    pose.normalise(p);
    expectNear(p.position, {0, 0, 1});
}

TEST(SkeletonNormalise, UpAlongXRolls)
{
    Skeleton pose(1);
    pose.setHeading(at(0, 0, 1), at(0, 0, 0));
    pose.setUp(at(1, 0, 0));
    EXPECT_NEAR(pose.roll, kPi / 2, 1e-15);
    Marker p = at(1, 0, 0);
    pose.normalise(p);
    expectNear(p.position, {0, 1, 0});
}

TEST(SkeletonNormalise, PitchedHeading)
{
    Skeleton pose(1);
    pose.setHeading(at(0, 1, 1), at(0, 0, 0));
    EXPECT_NEAR(pose.pitch, kPi / 4, 1e-15);
    EXPECT_EQ(pose.yaw, 0.0);
    Marker p = at(0, 1, 1);
    pose.normalise(p);
    expectNear(p.position, {0, 0, std::sqrt(2.0)});
}

TEST(SkeletonNormalise, BeforeHeadingReportsAndLeavesTheSample)
{
    test::CapturedMessages messages;
    Skeleton pose(1);
    Marker p = at(1, 2, 3);
    pose.normalise(p);
    expectNear(p.position, {1, 2, 3});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0], "Error in Skeleton. Trying to normalize before creating vectors.");
}

// One frame, a group of the given still markers with heading +z and up +y from marker 0.
struct OneFrameGroup {
    MotionCaptureSession session;
    Group* group = nullptr;

    explicit OneFrameGroup(const std::vector<std::pair<Vec3, int>>& markersWithIds)
    {
        test::addStill(session, {0, 5, 0}, 1);
        test::addStill(session, {0, 5, 1}, 1);
        test::addStill(session, {0, 6, 0}, 1);
        for (auto& [p, id] : markersWithIds)
            test::addStill(session, p, 1).colliderId = id;
        session.clearMarkerSelection();
        for (int i = 0; i < session.markerCount(); ++i)
            session.selectMarker(i);
        group = session.createGroup();
        session.createHeadingVectorFor(0, 1, 0);
        session.createUpVectorFor(0, 2, 0);
    }
    const Skeleton& world() const { return group->worldPoses.at(0); }
};

TEST(PoseSupport, NoCollidersNoContactSets)
{
    OneFrameGroup g({{{1, 0.1, 1}, -1}});
    ASSERT_TRUE(buildPoses(*g.group));
    EXPECT_TRUE(g.group->posesBuilt);
    EXPECT_EQ(g.world().contactSetCount(), 0);
    EXPECT_FALSE(g.world().support.has_value());
    EXPECT_EQ(g.world().supportWeight, 0.0);
}

TEST(PoseSupport, ContactHeightCountsAtOrBelow)
{
    OneFrameGroup g({{{1, 0.5, 2}, 0}, {{3, 0.72, 4}, 0}, {{9, 0.9, 9}, 0}});
    ASSERT_TRUE(buildPoses(*g.group));
    ASSERT_EQ(g.world().contactSetCount(), 1);
    EXPECT_EQ(g.world().contactSets[0].size(), 3u);
    EXPECT_EQ(g.world().supportWeight, 4.0);
    ASSERT_TRUE(g.world().support.has_value());
    expectNear(g.world().support->position, {8, 0, 12});
}

TEST(PoseSupport, SetsWithoutContactWeighOne)
{
    OneFrameGroup g({{{2, 0.1, 4}, 3}, {{7, 2.0, 7}, 1}});
    ASSERT_TRUE(buildPoses(*g.group));
    EXPECT_EQ(g.world().supportWeight, 3.0);
    expectNear(g.world().support->position, {4, 0, 8});

    OneFrameGroup none({{{2, 1.1, 4}, 3}, {{7, 2.0, 7}, 1}});
    ASSERT_TRUE(buildPoses(*none.group));
    EXPECT_EQ(none.world().contactSetCount(), 2);
    EXPECT_FALSE(none.world().support.has_value());
    EXPECT_EQ(none.world().supportWeight, 0.0);
}

TEST(PoseSupport, ColliderIdsBeyondTheMemberCountGetSetsInIdOrder)
{
    // Five members, ids 40 and 7: both in use, sets ordered 7 then 40.
    OneFrameGroup g({{{1, 0.1, 1}, 40}, {{2, 0.1, 2}, 7}});
    ASSERT_TRUE(buildPoses(*g.group));
    ASSERT_EQ(g.world().contactSetCount(), 2);
    EXPECT_EQ(g.world().contactSets[0][0].position.x, 2);
    EXPECT_EQ(g.world().contactSets[1][0].position.x, 1);
}

TEST(Poses, NormalisedJointsAreInTheBodyFrameAndWorldJointsStay)
{
    OneFrameGroup g({{{3, 5, 0}, -1}});
    ASSERT_TRUE(buildPoses(*g.group));
    const Skeleton& n = g.group->normalisedPoses.at(0);
    ASSERT_EQ(n.jointCount(), 4);
    // Heading +z, up created second from (0,5,0)->(0,6,0): the up direction is stored negated
    // by the orthonormalisation, so the body's "up" is world -y and x flips with it.
    expectNear(n.joints[1].position, {0, 0, 1});
    const Skeleton& w = g.world();
    expectNear(w.joints[3].position, {3, 5, 0});
    expectNear(w.centre.position, {0.75, 5.25, 0.25});
    for (const auto& j : n.joints)
        EXPECT_TRUE(std::isfinite(j.position.x) && std::isfinite(j.position.y) && std::isfinite(j.position.z));
}

TEST(Poses, GroupsWithoutVectorsBuildNothing)
{
    MotionCaptureSession s;
    test::addStill(s, {}, 2);
    test::selectMarkers(s, {0});
    Group* g = s.createGroup();
    EXPECT_FALSE(buildPoses(*g));
    EXPECT_FALSE(g->posesBuilt);
    EXPECT_TRUE(g->worldPoses.empty());
}

TEST(Poses, ShorterTrajectoriesHoldTheirLastSample)
{
    MotionCaptureSession s;
    test::addTrajectory(s, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    test::addTrajectory(s, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}});
    test::addTrajectory(s, {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}});
    test::addTrajectory(s, {{1, 0, 0}, {2, 0, 0}});
    test::selectMarkers(s, {0, 1, 2, 3});
    Group* g = s.createGroup();
    s.createHeadingVectorFor(0, 1, 0);
    s.createUpVectorFor(0, 2, 0);
    ASSERT_TRUE(buildPoses(*g));
    ASSERT_EQ(g->worldPoses.size(), 4u);
    EXPECT_EQ(g->worldPoses[3].joints[3].position.x, 2);
}

} // namespace
} // namespace duolo
