#include "motiongraph/Graph2D.h"
#include "playback/Constraints.h"
#include "playback/EnsemblePlayer.h"
#include "session/MotionCaptureSession.h"
#include "session/PlaybackEnsemble.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"
#include "support/SessionBuilder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo {
namespace {

void expectAt(const AnimatedMarker& m, size_t i, Vec3 p)
{
    EXPECT_NEAR(m.samples[i].position.x, p.x, 1e-12);
    EXPECT_NEAR(m.samples[i].position.y, p.y, 1e-12);
    EXPECT_NEAR(m.samples[i].position.z, p.z, 1e-12);
}

// Four still markers: 0 at the origin, 1 along +z, 2 along +y, 3 along +x.
MotionCaptureSession& axes(MotionCaptureSession& s, int frames = 3)
{
    test::addStill(s, {0, 0, 0}, frames);
    test::addStill(s, {0, 0, 1}, frames);
    test::addStill(s, {0, 1, 0}, frames);
    test::addStill(s, {1, 0, 0}, frames);
    return s;
}

TEST(Groups, NumbersMarksColoursAndParents)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0});
    Group* first = s.createGroup();
    test::selectMarkers(s, {1});
    Group* second = s.createGroup();
    EXPECT_EQ(first->firstGroupMark, -1);
    EXPECT_EQ(first->groupNumber, 0);
    EXPECT_EQ(first->colour, 0x8DECF1u);
    EXPECT_EQ(second->firstGroupMark, 0);
    EXPECT_EQ(second->groupNumber, 1);
    EXPECT_FALSE(second->selected);
    // Placed relative to the first group straight away, as it will be after saving and loading.
    EXPECT_EQ(second->parent, first);
    EXPECT_EQ(first->parent, nullptr);
    EXPECT_EQ(groupColour(8), 0xC1C1C1u);
    EXPECT_EQ(groupColour(7), 0xFC9391u);

    test::selectMarkers(s, {});
    EXPECT_EQ(s.createGroup(), nullptr);
}

TEST(Groups, DeletingGroupZeroOfThreeRenumbersAndRecolours)
{
    MotionCaptureSession s;
    axes(s);
    for (int i = 0; i < 3; ++i) {
        test::selectMarkers(s, {i});
        s.createGroup();
    }
    test::selectGroups(s, {0});
    s.deleteSelectedGroups();
    ASSERT_EQ(s.groupCount(), 2);
    EXPECT_EQ(s.groups[0]->groupNumber, 0);
    EXPECT_EQ(s.groups[0]->colour, groupColour(0));
    EXPECT_EQ(s.groups[1]->colour, groupColour(1));
    EXPECT_FALSE(s.markers[0]->inGroup);
    EXPECT_TRUE(s.markers[1]->inGroup);
    // The group now first still carries mark 0, but is never its own parent.
    EXPECT_EQ(s.groups[0]->parent, nullptr);
    EXPECT_EQ(s.groups[1]->parent, s.groups[0].get());
    EXPECT_EQ(s.selectedGroupCount, 0);
}

TEST(Groups, AddAndRemoveNeedExactlyOneSelectedGroup)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0});
    s.createGroup();
    test::selectMarkers(s, {1});
    s.createGroup();
    test::selectGroups(s, {0, 1});
    test::selectMarkers(s, {2});
    s.addSelectedToGroup();
    EXPECT_EQ(s.groups[0]->memberCount(), 1);

    test::selectGroups(s, {0});
    test::selectMarkers(s, {0, 2});
    s.addSelectedToGroup();
    EXPECT_EQ(s.groups[0]->memberCount(), 2);  // marker 0 is not added twice
    EXPECT_EQ(s.markers[0]->groupCount(), 1);

    s.removeSelectedFromGroup();
    EXPECT_EQ(s.groups[0]->memberCount(), 0);
    EXPECT_FALSE(s.markers[0]->inGroup);
    EXPECT_FALSE(s.markers[2]->inGroup);
    EXPECT_EQ(s.groupCount(), 2);
}

TEST(Vectors, HeadingFirstThenUp)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0, 1, 2});
    Group* g = s.createGroup();
    s.createHeadingVectorFor(0, 1, 0);
    s.createUpVectorFor(0, 2, 0);
    ASSERT_TRUE(g->hasHeading() && g->hasUp() && g->hasRoot());
    for (size_t i = 0; i < 3; ++i) {
        expectAt(*g->headingEnd, i, {0, 0, 1});
        expectAt(*g->upEnd, i, {0, -1, 0});
        expectAt(*g->headingStart, i, {0, 0, 0});
        expectAt(*g->upStart, i, {0, 0, 0});
        expectAt(*g->rootTrajectory, i, {0, 0, 0});
    }
}

TEST(Vectors, UpFirstThenHeading)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0, 1, 2});
    Group* g = s.createGroup();
    s.createUpVectorFor(0, 2, 0);
    s.createHeadingVectorFor(0, 1, 0);
    for (size_t i = 0; i < 3; ++i) {
        expectAt(*g->upEnd, i, {0, 1, 0});
        expectAt(*g->headingEnd, i, {0, 0, -1});
    }
}

TEST(Vectors, NonMembersChangeNothing)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0});
    Group* g = s.createGroup();
    s.createHeadingVectorFor(0, 3, 0);
    EXPECT_FALSE(g->hasHeading());
    EXPECT_FALSE(g->hasRoot());
    s.createHeadingVectorFor(0, 99, 0);
    s.createHeadingVectorFor(0, 0, 5);
    EXPECT_FALSE(g->hasHeading());
}

TEST(Vectors, FlipWithoutUpSwapsMarkersAndMovesTheRoot)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0, 1, 2});
    Group* g = s.createGroup();
    s.createHeadingVectorFor(0, 1, 0);
    expectAt(*g->headingEnd, 0, {0, 0, 1});
    test::selectGroups(s, {0});
    s.flipHeadingVectors();
    expectAt(*g->headingStart, 0, {0, 0, 1});
    expectAt(*g->headingEnd, 0, {0, 0, 0});
    expectAt(*g->rootTrajectory, 2, {0, 0, 1});

    // With an up vector the flip negates the orthonormalised heading and keeps the root.
    s.createHeadingVectorFor(0, 1, 0);
    s.createUpVectorFor(0, 2, 0);
    s.flipHeadingVectors();
    expectAt(*g->headingEnd, 1, {0, 0, -1});
    expectAt(*g->headingStart, 1, {0, 0, 0});
    expectAt(*g->rootTrajectory, 1, {0, 0, 0});
    s.flipUpVectors();
    expectAt(*g->upEnd, 1, {0, 1, 0});

    s.deleteHeadingVectors();
    EXPECT_FALSE(g->hasHeading());
    EXPECT_TRUE(g->hasRoot());
    s.deleteUpVectors();
    EXPECT_FALSE(g->hasUp());
    s.flipUpVectors();  // nothing to flip: no change, no crash
    s.flipHeadingVectors();
}

TEST(Vectors, CoincidingMarkersStoreNoNaN)
{
    MotionCaptureSession s;
    // Frame 1 of the heading has both markers at one point; frame 0 of the up vector too.
    test::addTrajectory(s, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    test::addTrajectory(s, {{0, 0, 2}, {0, 0, 0}, {1, 0, 0}});
    test::addTrajectory(s, {{0, 0, 0}, {0, 3, 0}, {0, 3, 0}});
    test::selectMarkers(s, {0, 1, 2});
    Group* g = s.createGroup();
    s.createHeadingVectorFor(0, 1, 0);
    s.createUpVectorFor(0, 2, 0);
    for (auto* t : {g->headingEnd.get(), g->upEnd.get()})
        for (auto& m : t->samples)
            EXPECT_TRUE(std::isfinite(m.position.x) && std::isfinite(m.position.y) && std::isfinite(m.position.z));
    // Frames 0 and 1 have no direction: they take that of frame 2, the first good one.
    expectAt(*g->headingEnd, 0, {1, 0, 0});
    expectAt(*g->headingEnd, 1, {1, 0, 0});
    expectAt(*g->upEnd, 0, {0, -1, 0});
    expectAt(*g->upEnd, 2, {0, -1, 0});
}

TEST(Centroids, NeedTwoMarkersAndAverageEachFrame)
{
    MotionCaptureSession s;
    test::addTrajectory(s, {{0, 0, 0}, {0, 0, 0}});
    test::addTrajectory(s, {{2, 4, 6}, {4, 4, 4}});
    test::addStill(s, {}, 2);
    test::addStill(s, {}, 2);
    test::addStill(s, {}, 2);
    test::selectMarkers(s, {0});
    EXPECT_EQ(s.createCentroid(), nullptr);
    test::selectMarkers(s, {0, 1});
    s.setFrame(1);
    AnimatedMarker* c = s.createCentroid();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->name, "Centroid 5");
    EXPECT_EQ(c->index, 5);
    EXPECT_EQ(c->colliderId, -1);
    EXPECT_EQ(c->current, 1);
    expectAt(*c, 0, {1, 2, 3});
    expectAt(*c, 1, {2, 2, 2});
    EXPECT_NEAR(c->samples[1].velocity.z, -1, 1e-12);
    EXPECT_EQ(s.markerCount(), 6);
}

TEST(Colliders, NumberFromTheSessionCounterOnTheFirstGroup)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0, 1});
    s.createGroup();
    test::selectMarkers(s, {2});
    s.createGroup();
    test::selectMarkers(s, {0, 1});
    test::selectGroups(s, {1});
    s.setCollider();
    s.setCollider();
    EXPECT_EQ(s.markers[0]->colliderId, 1);
    EXPECT_EQ(s.markers[0]->name, "m0 C:0 C:1");
    EXPECT_EQ(s.nextColliderId, 2);
    // Marker 2 belongs only to the second group: setCollider never reaches it.
    test::selectMarkers(s, {2});
    s.setCollider();
    EXPECT_EQ(s.markers[2]->colliderId, -1);
    EXPECT_EQ(s.nextColliderId, 3);
}

// A body of five trajectories over four frames at x offset `x`: pelvis, front, chest, left foot
// on the floor and a right foot that lifts in frame 2 and lands again in frame 3.
void addBody(MotionCaptureSession& s, double x)
{
    test::addStill(s, {x, 10, 0}, 4);
    test::addStill(s, {x, 10, 1}, 4);
    test::addStill(s, {x, 15, 0}, 4);
    test::addStill(s, {x - 1, 0.2, 0}, 4);
    test::addTrajectory(s, {{x + 1, 0.2, 0}, {x + 1, 0.2, 0}, {x + 1, 3, 0}, {x + 1, 0.2, 0}});
}

TEST(Colliders, InGroupReachEverySelectedGroupAndEveryBodyTouchesTheFloor)
{
    MotionCaptureSession s;
    addBody(s, 0);
    addBody(s, 20);
    for (int m : {0, 5}) {
        test::selectMarkers(s, {m, m + 1, m + 2, m + 3, m + 4});
        Group* g = s.createGroup();
        s.createHeadingVectorFor(m, m + 1, g->groupNumber);
        s.createUpVectorFor(m, m + 2, g->groupNumber);
    }
    // Each selected group in list order gets its own id; unselected members keep none.
    test::selectMarkers(s, {3, 4, 8, 9});
    test::selectGroups(s, {1, 0});
    s.setColliderInGroup();
    EXPECT_EQ(s.nextColliderId, 2);
    for (int k : {3, 4, 8, 9})
        EXPECT_EQ(s.markers[k]->colliderId, k / 5) << k;
    EXPECT_EQ(s.markers[7]->colliderId, -1);

    for (auto& g : s.groups) {
        ASSERT_TRUE(buildPoses(*g));
        // Both feet down: one contact set of weight 4 (two contacts) at the feet's mean.
        ASSERT_EQ(g->worldPoses[0].contactSetCount(), 1);
        EXPECT_DOUBLE_EQ(g->worldPoses[0].supportWeight, 4.0);
        g->currentNode = g->previousNode = g->graph->addNode(0, 3, 0, 0);
        g->currentNode->currentFrame = 3;
        EXPECT_EQ(countTaps(*g), 1);  // the right foot lands in frame 3
    }
    // The balance (and its overlay) stand on both bodies' feet: weight 4 + 4, the support
    // halfway between them, under the centre of mass.
    const BalanceReading balance = readBalance(playbackEnsemble(s));
    EXPECT_DOUBLE_EQ(balance.contactWeight, 8.0);
    EXPECT_NEAR(balance.supportCentre.x, balance.centreOfMass.x, 1e-9);
    EXPECT_TRUE(balance.balanced);
}

TEST(Edges, NeedExactlyTwoSelectedMarkers)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0, 1, 2});
    EXPECT_EQ(s.createEdge(), nullptr);
    test::selectMarkers(s, {3, 1});
    Edge* e = s.createEdge();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->from->index, 1);
    EXPECT_EQ(e->to->index, 3);
    test::selectMarkers(s, {0, 2});
    s.createEdge();
    s.clearEdgeSelection();
    s.selectEdge(0);
    s.deleteSelectedEdges();
    ASSERT_EQ(s.edgeCount(), 1);
    EXPECT_EQ(s.edges[0]->index, 0);
    EXPECT_EQ(s.edges[0]->from->index, 0);
}

TEST(DeleteMarkers, TakesEdgesAndEmptiedGroupsAlong)
{
    MotionCaptureSession s;
    axes(s);
    test::selectMarkers(s, {0});
    s.createGroup();
    test::selectMarkers(s, {1, 2});
    s.createGroup();
    test::selectMarkers(s, {0, 1});
    s.createEdge();
    test::selectMarkers(s, {2, 3});
    s.createEdge();

    test::selectMarkers(s, {0});
    s.deleteSelectedMarkers();
    ASSERT_EQ(s.markerCount(), 3);
    ASSERT_EQ(s.groupCount(), 1);
    EXPECT_EQ(s.groups[0]->groupNumber, 0);
    EXPECT_EQ(s.groups[0]->memberCount(), 2);
    EXPECT_EQ(s.groups[0]->parent, nullptr);
    ASSERT_EQ(s.edgeCount(), 1);
    EXPECT_EQ(s.edges[0]->from->index, 1);
    EXPECT_EQ(s.edges[0]->to->index, 2);
    EXPECT_EQ(s.selectedMarkerCount, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(s.markers[i]->index, i);
}

TEST(Mirror, OneMarkerDoublesItsTakeAndTheFrameCounts)
{
    MotionCaptureSession s;
    std::vector<Vec3> path;
    for (int i = 0; i < 100; ++i)
        path.push_back({double(i), 1, double(i) + 0.5});
    test::addTrajectory(s, path);
    test::addStill(s, {1, 1, 1}, 100);
    test::selectMarkers(s, {0, 1});
    Group* g = s.createGroup();
    test::selectMarkers(s, {0});
    s.mirrorMarkers();
    ASSERT_EQ(s.markers[0]->sampleCount(), 200);
    EXPECT_EQ(s.frameCount, 200);
    EXPECT_EQ(g->frameCount, 200);
    EXPECT_EQ(s.markers[0]->samples[150].position.z, -50.5);
    EXPECT_EQ(s.markers[0]->samples[150].position.x, 50);
    EXPECT_EQ(s.markers[0]->samples[150].frame, 50);
    EXPECT_FALSE(s.allTrajectoriesHaveFrameCount());

    // Stepping through the longer take never takes a cursor past the end of the shorter one.
    for (int i = 0; i < 400; ++i) {
        s.stepFrame();
        ASSERT_LT(s.markers[1]->current, 100);
        ASSERT_LT(s.markers[0]->current, 200);
    }
    s.setFrame(199);
    EXPECT_EQ(s.markers[1]->current, 99);

    test::selectMarkers(s, {1});
    s.mirrorMarkers();
    EXPECT_TRUE(s.allTrajectoriesHaveFrameCount());
}

TEST(Mirror, PairsSwapRolesAndNeedEqualLengths)
{
    MotionCaptureSession s;
    test::addTrajectory(s, {{1, 0, 1}, {2, 0, 2}});
    test::addTrajectory(s, {{5, 0, 5}, {6, 0, 6}});
    test::addStill(s, {}, 3);
    test::selectMarkers(s, {0, 2});
    s.mirrorMarkers();
    EXPECT_EQ(s.markers[0]->sampleCount(), 2);
    EXPECT_EQ(s.frameCount, 2);

    test::selectMarkers(s, {0, 1});
    s.mirrorMarkers();
    ASSERT_EQ(s.markers[0]->sampleCount(), 4);
    EXPECT_EQ(s.markers[0]->samples[2].position.x, 5);
    EXPECT_EQ(s.markers[0]->samples[2].position.z, -5);
    EXPECT_EQ(s.markers[1]->samples[3].position.z, -2);
    EXPECT_EQ(s.frameCount, 4);
}

} // namespace
} // namespace duolo
