#include "session/MotionCaptureSession.h"
#include "skeleton/Group.h"
#include "support/SessionBuilder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace duolo {
namespace {

TEST(SessionLoad, NumbersFilesInOrderAndTakesFrameCountFromTheFirst)
{
    test::TempDir dir;
    auto a = dir.write("a.mov", "1 2 3\n4 5 6\n7 8 9\n");
    auto b = dir.write("b.mov", "1 2 3\n");
    auto c = dir.write("c.mov", "1 2 3\n1 2 3\n1 2 3\n1 2 3\n1 2 3\n");
    MotionCaptureSession s;
    s.loadMarkers({a.string(), b.string(), c.string()});
    EXPECT_TRUE(s.loaded);
    ASSERT_EQ(s.markerCount(), 3);
    EXPECT_EQ(s.frameCount, 3);
    EXPECT_EQ(s.currentFrame, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(s.markers[i]->index, i);
    EXPECT_EQ(s.markers[2]->name, c.string());
}

TEST(SessionLoad, UnreadableFilesAreReportedAndSkipped)
{
    test::TempDir dir;
    auto good = dir.write("good.mov", "1 2 3\n4 5 6\n");
    const auto missing = dir.file("missing.mov").string();
    MotionCaptureSession s;
    std::vector<std::string> errors;
    s.loadMarkers({missing, good.string()}, &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(missing), std::string::npos);
    ASSERT_EQ(s.markerCount(), 1);
    EXPECT_EQ(s.markers[0]->index, 0);
    EXPECT_EQ(s.frameCount, 2);

    MotionCaptureSession nothing;
    nothing.loadMarkers({missing}, &errors);
    EXPECT_FALSE(nothing.loaded);
    EXPECT_EQ(nothing.markerCount(), 0);
}

TEST(SessionLoad, ASecondLoadAppendsWithFreshNumbers)
{
    test::TempDir dir;
    auto a = dir.write("a.mov", "1 2 3\n4 5 6\n");
    MotionCaptureSession s;
    s.loadMarkers({a.string(), a.string()});
    s.setFrame(1);
    s.loadMarkers({a.string()});
    ASSERT_EQ(s.markerCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.markers[i]->index, i);
        EXPECT_EQ(s.markers[i]->current, 0);
    }
    EXPECT_EQ(s.currentFrame, 0);
}

TEST(SessionFrames, StepWrapsAndShortTrajectoriesHoldTheirLastSample)
{
    MotionCaptureSession s;
    test::addTrajectory(s, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    auto& shortOne = test::addTrajectory(s, {{0, 0, 0}, {5, 0, 0}});
    s.setFrame(3);
    EXPECT_EQ(s.markers[0]->current, 3);
    EXPECT_EQ(shortOne.current, 1);
    s.stepFrame();
    EXPECT_EQ(s.currentFrame, 0);
    EXPECT_EQ(s.markers[0]->current, 0);
    EXPECT_EQ(shortOne.current, 0);
    s.stepFrame();
    s.stepFrame();
    EXPECT_EQ(shortOne.current, 1);

    s.setFrame(2);
    s.setFrame(2);
    EXPECT_EQ(s.markers[0]->current, 2);

    s.setFrame(0);
    s.frameBack();
    EXPECT_EQ(s.currentFrame, 3);
    s.frameForward();
    EXPECT_EQ(s.currentFrame, 0);
}

TEST(SessionFrames, GroupMembersFollowTheirGroup)
{
    MotionCaptureSession s;
    for (int i = 0; i < 3; ++i)
        test::addStill(s, {double(i), 1, 0}, 5);
    test::selectMarkers(s, {0, 1});
    Group* g = s.createGroup();
    ASSERT_NE(g, nullptr);
    s.setFrame(4);
    EXPECT_EQ(g->currentFrame, 4);
    for (auto& m : s.markers)
        EXPECT_EQ(m->current, 4);
    s.stepFrame();
    EXPECT_EQ(g->currentFrame, 0);
    for (auto& m : s.markers)
        EXPECT_EQ(m->current, 0);
}

TEST(SessionSelection, CountsRiseOnEverySelectOfAnExistingNumber)
{
    MotionCaptureSession s;
    test::addStill(s, {}, 2);
    s.selectMarker(7);
    EXPECT_EQ(s.selectedMarkerCount, 0);
    s.selectMarker(0);
    s.selectMarker(0);
    EXPECT_EQ(s.selectedMarkerCount, 2);
    s.clearMarkerSelection();
    EXPECT_EQ(s.selectedMarkerCount, 0);
    EXPECT_FALSE(s.markers[0]->selected);
}

} // namespace
} // namespace duolo
