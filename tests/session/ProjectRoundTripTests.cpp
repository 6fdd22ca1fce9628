// Real takes through the project file: the committed sample session, and the whole shared hdm05
// take built up the way the skeleton builder would.
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Edge.h"
#include "skeleton/Group.h"
#include "support/TestSupport.h"
#include "ProjectTestHelpers.h"

#include <gtest/gtest.h>

#include <fstream>

namespace duolo {
namespace {

using namespace test;

const char* const kHdm05Files[] = {
    "LFHD", "RFHD", "LBHD", "RBHD", "C7",   "T10",  "CLAV", "STRN", "RBAC", "LSHO", "LUPA",
    "LELB", "LFRM", "LWRA", "LWRB", "LFIN", "RSHO", "RUPA", "RELB", "RFRM", "RWRA", "RWRB",
    "RFIN", "LFWT", "RFWT", "LBWT", "RBWT", "LTHI", "LKNE", "LSHN", "LANK", "LHEE", "LTOE",
    "LMT5", "RTHI", "RKNE", "RSHN", "RANK", "RHEE", "RTOE", "RMT5"};

TEST(ProjectSample, LoadsWithItsSkeletonAndSavesBackByteForByte)
{
    const auto path = sampleDir() / "sample.dwz";
    std::string error;
    auto s = loadProject(path.string(), error);
    ASSERT_TRUE(s) << error;
    EXPECT_TRUE(s->loaded);
    EXPECT_EQ(s->frameCount, 400);
    ASSERT_EQ(s->markerCount(), 44);
    EXPECT_EQ(s->markers[23]->name, "markers/LFWT.mov");
    EXPECT_EQ(s->markers[41]->name, "Centroid 41");
    EXPECT_EQ(s->markers[32]->name, "markers/LTOE.mov C:0");
    EXPECT_EQ(s->markers[39]->colliderId, 1);
    EXPECT_EQ(s->nextColliderId, 2);
    EXPECT_TRUE(s->allTrajectoriesHaveFrameCount());
    ASSERT_EQ(s->groupCount(), 1);
    const Group& g = *s->groups[0];
    EXPECT_EQ(g.memberCount(), 44);
    EXPECT_TRUE(g.hasHeading() && g.hasUp() && g.hasRoot());
    EXPECT_EQ(g.rootTrajectory->sampleCount(), 400);
    EXPECT_GE(s->edgeCount(), 4);
    for (const auto& m : s->markers)
        EXPECT_TRUE(m->inGroup);

    CapturedMessages quiet;
    EXPECT_EQ(projectBytes(*s), readBytes(path));
}

// The whole shared take with a centroid, a group, both vectors, colliders and edges.
std::unique_ptr<MotionCaptureSession> fullHdm05Session()
{
    auto s = std::make_unique<MotionCaptureSession>();
    std::vector<std::string> paths;
    for (const char* name : kHdm05Files)
        paths.push_back((sharedDataDir() / "hdm05_mm_locomotion" / (std::string(name) + ".mov")).string());
    std::vector<std::string> errors;
    s->loadMarkers(paths, &errors);
    EXPECT_TRUE(errors.empty());
    auto select = [&](std::vector<int> ids) {
        s->clearMarkerSelection();
        for (int id : ids)
            s->selectMarker(id);
    };
    select({23, 24, 25, 26});
    s->createCentroid();  // 41
    select({23, 24});
    s->createCentroid();  // 42
    select({4, 6});
    s->createCentroid();  // 43
    std::vector<int> all(44);
    for (int i = 0; i < 44; ++i)
        all[i] = i;
    select(all);
    s->createGroup();
    s->createHeadingVectorFor(41, 42, 0);
    s->createUpVectorFor(41, 43, 0);
    select({31, 32, 33});
    s->setCollider();
    select({38, 39, 40});
    s->setCollider();
    select({4, 5, 6, 7});  // a second, overlapping group
    s->createGroup();
    for (auto [a, b] : {std::pair{23, 28}, {28, 30}, {30, 32}, {24, 35}, {35, 37}, {37, 39}, {41, 43}}) {
        select({a, b});
        s->createEdge();
    }
    s->setFrame(1234);
    return s;
}

TEST(ProjectSharedTake, FullTakeRoundTrip)
{
    if (!haveSharedData())
        GTEST_SKIP() << "the shared takes are not available";
    CapturedMessages quiet;
    auto s = fullHdm05Session();
    ASSERT_EQ(s->frameCount, 3990);
    ASSERT_EQ(s->markerCount(), 44);

    TempDir dir;
    const auto path = dir.file("hdm05.dwz").string();
    std::string error;
    ASSERT_TRUE(saveProject(*s, path, error)) << error;
    auto loaded = loadProject(path, error);
    ASSERT_TRUE(loaded) << error;
    expectSameProject(*s, *loaded);
    EXPECT_EQ(loaded->groups[1]->parent, loaded->groups[0].get());

    // Saving what was loaded gives the same bytes.
    const auto resaved = dir.file("again.dwz").string();
    ASSERT_TRUE(saveProject(*loaded, resaved, error)) << error;
    EXPECT_EQ(readBytes(resaved), readBytes(path));
}

} // namespace
} // namespace duolo
