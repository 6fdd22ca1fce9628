#include "capture/CaptureReader.h"
#include "capture/MarkerFile.h"
#include "session/MotionCaptureSession.h"
#include "support/C3dWriter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

namespace duolo {
namespace {

using test::C3dLayout;

std::string writeFile(const test::TempDir& dir, const std::string& name, const std::string& bytes)
{
    const auto path = dir.file(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// Scene position of a file point (x, y, z) in millimetres with z up: centimetres, then the
// marker file's mapping (x, height, depth) / 10.
Vec3 sceneOfMillimetres(double x, double y, double z) { return {x * 0.01, z * 0.01, y * 0.01}; }

void expectNear(const Vec3& actual, const Vec3& expected, const std::string& where)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-9) << where;
    EXPECT_NEAR(actual.y, expected.y, 1e-9) << where;
    EXPECT_NEAR(actual.z, expected.z, 1e-9) << where;
}

// Four points over five frames: A misses its first two frames, B one frame marked by its residual
// and one all-zero frame inside, the unlabelled third point its last frame (not-a-number in float
// IEEE storage) and D every frame.
C3dLayout gappyTake(int processor, bool floats)
{
    C3dLayout s;
    s.processor = processor;
    s.floats = floats;
    s.scale = 0.5f;
    s.points = 4;
    s.frames = 5;
    s.labels = {"A", "B", "", "D"};
    s.analogPerFrame = 2;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::array<float, 4> missing{1, 1, 1, -1};
    const std::array<std::array<float, 4>, 20> d{{
        missing, {100, 0, 50, 0}, {1, 2, 3, 0}, missing,
        missing, {102, 2, 52, 0}, {2, 3, 4, 0}, missing,
        {10, 20, 30, 0}, missing, {3, 4, 5, 0}, missing,
        {12, 22, 32, 0}, {0, 0, 0, 0}, {4, 5, 6, 0}, missing,
        {14, 24, 34, 0}, {108, 8, 58, 0}, floats && processor != 85 ? std::array<float, 4>{nan, 5, 6, 0} : missing, missing,
    }};
    s.data.assign(d.begin(), d.end());
    return s;
}

TEST(C3dReader, FillsGapsAlikeForEveryProcessorAndStorage)
{
    test::TempDir dir;
    for (int processor : {84, 85, 86}) {
        for (bool floats : {true, false}) {
            const std::string where = "processor " + std::to_string(processor) + (floats ? " float" : " integer");
            const auto path = writeFile(dir, "take.c3d", test::writeC3d(gappyTake(processor, floats)));
            CaptureFile file;
            std::string error;
            ASSERT_TRUE(readCaptureFile(path, file, error)) << where << ": " << error;
            EXPECT_EQ(file.pointCount, 4);
            EXPECT_EQ(file.frameCount, 5);
            EXPECT_EQ(file.units, "mm");
            ASSERT_EQ(file.trajectories.size(), 3u) << where;
            EXPECT_EQ(file.trajectories[0].name, path + "/A");
            EXPECT_EQ(file.trajectories[2].name, path + "/#2");
            EXPECT_EQ(displayFileName(file.trajectories[1].name), "B");

            const std::vector<std::vector<Vec3>> expected{
                {{10, 20, 30}, {10, 20, 30}, {10, 20, 30}, {12, 22, 32}, {14, 24, 34}},
                {{100, 0, 50}, {102, 2, 52}, {104, 4, 54}, {106, 6, 56}, {108, 8, 58}},
                {{1, 2, 3}, {2, 3, 4}, {3, 4, 5}, {4, 5, 6}, {4, 5, 6}},
            };
            for (size_t p = 0; p < expected.size(); ++p) {
                const auto& samples = file.trajectories[p].samples;
                ASSERT_EQ(samples.size(), 5u);
                for (size_t f = 0; f < 5; ++f) {
                    const Vec3& e = expected[p][f];
                    expectNear(samples[f].position, sceneOfMillimetres(e.x, e.y, e.z),
                               where + " point " + std::to_string(p) + " frame " + std::to_string(f));
                    EXPECT_EQ(samples[f].frame, static_cast<int32_t>(f));
                    const Vec3 velocity = f == 0 ? Vec3{} : samples[f].position - samples[f - 1].position;
                    EXPECT_EQ(samples[f].velocity, velocity);
                }
            }
            EXPECT_EQ(file.gaps.pointsWithGaps, 3);
            EXPECT_EQ(file.gaps.longestGap, 2);
            EXPECT_EQ(file.gaps.filledSamples, 5);
            EXPECT_EQ(file.gaps.leftOut, std::vector<std::string>{"D"});
            const std::string notice = captureNotice(path, file);
            EXPECT_NE(notice.find("take.c3d: 3 of 4 points had gaps"), std::string::npos) << notice;
            EXPECT_NE(notice.find("longest gap 2 frames"), std::string::npos) << notice;
            EXPECT_NE(notice.find("Left out for lack of a single valid sample: D."), std::string::npos) << notice;
        }
    }
}

TEST(C3dReader, TurnsUnitsAndVerticalAxesByRotation)
{
    test::TempDir dir;
    struct Case {
        std::string units, yScreen;
        Vec3 scene;  // of the file point (1, 2, 3), or (1, 2, -3) when -Z is up
    };
    const std::vector<Case> cases{
        {"cm", "+Y", {0.1, 0.2, -0.3}},   // (x, -z, y)
        {"m", "-Z", {10, 30, -20}},       // (x, -y, -z)
        {" cm ", "+X", {-0.3, 0.1, 0.2}}, // (-z, y, x)
        {"", "", {0.01, 0.03, 0.02}},     // millimetres and +Z when the file says nothing
    };
    for (const Case& c : cases) {
        C3dLayout s;
        s.points = 1;
        s.frames = 2;
        s.units = c.units;
        s.yScreen = c.yScreen;
        const float z = c.yScreen == "-Z" ? -3 : 3;
        s.data = {{1, 2, z, 0}, {1, 2, z, 0}};
        const auto path = writeFile(dir, "axes.c3d", test::writeC3d(s));
        CaptureFile file;
        std::string error;
        ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
        expectNear(file.trajectories[0].samples[1].position, c.scene, c.units + " " + c.yScreen);
        EXPECT_EQ(verticalAxisName(file.vertical), c.yScreen.empty() ? "+Z" : c.yScreen);
        EXPECT_EQ(file.trajectories[0].name, path + "/#0");
    }
}

TEST(C3dReader, TakesTheSignOfTheVerticalAxisFromWhereMostSamplesLie)
{
    test::TempDir dir;
    for (const std::string stated : {"+X", "-X", "+Y", "-Y", "+Z", "-Z", ""}) {
        for (const bool agree : {true, false}) {
            VerticalAxis axis = VerticalAxis::PlusZ;
            parseVerticalAxis(stated.empty() ? "+Z" : stated, axis);
            const std::string truth = verticalAxisName(agree ? axis : oppositeAxis(axis));
            // A foot at height 2 and a head at 1700 along the true up axis, one foot sample
            // below the floor; the other coordinates are 100 and 200.
            const auto point = [&](float height) {
                std::array<float, 4> p{100, 200, 200, 0};
                p[static_cast<size_t>(truth[1] - 'X')] = truth[0] == '-' ? -height : height;
                return p;
            };
            C3dLayout s;
            s.points = 2;
            s.frames = 3;
            s.yScreen = stated;
            s.data = {point(2), point(1700), point(-1), point(1701), point(3), point(1702)};
            const auto path = writeFile(dir, "up.c3d", test::writeC3d(s));
            CaptureFile file;
            std::string error;
            ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
            const std::string where = "stated " + stated + (agree ? ", data agree" : ", data disagree");
            EXPECT_EQ(verticalAxisName(file.vertical), truth) << where;
            // Upright either way: the head is 17 scene units above the foot.
            EXPECT_NEAR(file.trajectories[1].samples[0].position.y - file.trajectories[0].samples[0].position.y,
                        16.98, 1e-9) << where;
            const std::string expected =
                agree ? ""
                      : (stated.empty() ? "The file names no vertical axis (C3D files usually have +Z up)"
                                        : "Its POINT:Y_SCREEN names " + stated + " as up") +
                            ", but most samples lie on the " + truth + " side of the floor: " + truth + " was taken as up.";
            EXPECT_EQ(file.note, expected) << where;
            EXPECT_NE(captureNotice(path, file).find(expected), std::string::npos) << where;
        }
    }
}

TEST(C3dReader, ReadsUnitsGivenOncePerPointWhenTheyAgree)
{
    test::TempDir dir;
    C3dLayout s;
    s.points = 3;
    s.frames = 1;
    s.unitsPerPoint = {"m", " m", "M"};
    s.data = {{1, 1, 1, 0}, {1, 1, 2, 0}, {1, 1, 3, 0}};
    const auto agreeing = writeFile(dir, "units.c3d", test::writeC3d(s));
    CaptureFile file;
    std::string error;
    ASSERT_TRUE(readCaptureFile(agreeing, file, error)) << error;
    EXPECT_EQ(file.units, "m");
    EXPECT_NEAR(file.trajectories[2].samples[0].position.y, 30.0, 1e-9);
    // The user's units replace the file's.
    CaptureImportOptions options;
    options.centimetresPerUnit = 1.0;
    ASSERT_TRUE(readCaptureFile(agreeing, file, error, options)) << error;
    EXPECT_EQ(file.units, "cm");
    EXPECT_NEAR(file.trajectories[2].samples[0].position.y, 0.3, 1e-9);

    s.unitsPerPoint = {"mm", "mm", "cm"};
    const auto path = writeFile(dir, "mixed.c3d", test::writeC3d(s));
    EXPECT_FALSE(readCaptureFile(path, file, error));
    EXPECT_EQ(error, path + ": cannot read C3D file: its POINT:UNITS differ between points (\"mm\" and \"cm\"); "
                            "one take needs one unit");
}

TEST(C3dReader, ReadsContinuedLabelsLockedNamesAndLongTakes)
{
    test::TempDir dir;
    C3dLayout s;
    s.points = 3;
    s.frames = 70000;
    s.labels = {"one", "two", "thr/ee"};
    s.labelsPerParameter = 2;
    s.lockedNames = true;
    s.rate = 120.0f;
    for (int f = 0; f < s.frames; ++f)
        for (int p = 0; p < 3; ++p)
            s.data.push_back({static_cast<float>(f % 1000), static_cast<float>(p + 1), 100.0f, 0.0f});
    // The header cannot hold 70,000 frames; TRIAL's 32-bit range or a float POINT:FRAMES does.
    for (const bool trial : {true, false}) {
        s.trialRange = trial;
        s.floatFrames = !trial;
        const auto path = writeFile(dir, "long.c3d", test::writeC3d(s));
        CaptureFile file;
        std::string error;
        ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
        EXPECT_EQ(file.frameCount, 70000);
        EXPECT_DOUBLE_EQ(file.frameRate, 120.0);
        ASSERT_EQ(file.trajectories.size(), 3u);
        EXPECT_EQ(displayFileName(file.trajectories[1].name), "two");
        EXPECT_EQ(displayFileName(file.trajectories[2].name), "thr_ee");
        expectNear(file.trajectories[2].samples[69999].position, sceneOfMillimetres(999, 3, 100), "last frame");
        EXPECT_TRUE(captureNotice(path, file).empty());
    }

    // A file that stores one frame fewer than it declares (as some writers do) loads what it
    // holds and says so.
    CaptureFile file;
    std::string error;
    C3dLayout shortOne;
    shortOne.points = 1;
    shortOne.frames = 3;
    shortOne.lastFrame = 4;
    shortOne.data = {{1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}};
    std::string bytes = test::writeC3d(shortOne);
    bytes.resize(5 * 512 + 3 * 16);  // no padding after the last frame
    const auto shortPath = writeFile(dir, "short.c3d", bytes);
    ASSERT_TRUE(readCaptureFile(shortPath, file, error)) << error;
    EXPECT_EQ(file.frameCount, 3);
    EXPECT_NE(captureNotice(shortPath, file).find("declares 4 frames but holds 3"), std::string::npos);
}

// The offset of a parameter's link word (after its name) in a written file.
size_t linkOf(const std::string& bytes, const std::string& name)
{
    const size_t at = bytes.find(name, 512);
    EXPECT_NE(at, std::string::npos);
    return at + name.size();
}

TEST(C3dReader, RefusesBrokenFilesNamingTheFileAndTheProblem)
{
    test::TempDir dir;
    const C3dLayout good = gappyTake(84, true);
    const std::string bytes = test::writeC3d(good);
    using Patch = std::function<void(std::string&, C3dLayout&)>;
    const std::vector<std::pair<Patch, std::string>> cases{
        {[](std::string& b, C3dLayout&) { b.resize(100); }, "too short to hold a C3D header"},
        {[](std::string& b, C3dLayout&) { b[1] = 0x51; }, "not a C3D file"},
        {[](std::string& b, C3dLayout&) { b[0] = static_cast<char>(200); }, "block 200, outside the file"},
        {[](std::string& b, C3dLayout&) { b[512 + 3] = 83; }, "unknown processor type 83"},
        {[](std::string& b, C3dLayout&) { b[512 + 2] = static_cast<char>(200); }, "runs past the end of the file"},
        {[](std::string& b, C3dLayout&) { b[linkOf(b, "LABELS") + 1] = 0x7F; },
         "LABELS points outside the parameter section"},
        {[](std::string& b, C3dLayout&) { b[linkOf(b, "LABELS") + 5] = static_cast<char>(250); },
         "LABELS holds more data than its record"},
        {[](std::string& b, C3dLayout&) { b[linkOf(b, "LABELS") + 2] = 1; }, "POINT:LABELS is not text"},
        {[](std::string&, C3dLayout& s) { s.labels[1] = "B\x01"; }, "holds a label that is not text"},
        {[](std::string&, C3dLayout& s) { s.scale = 0.0f; }, "POINT:SCALE is 0"},
        {[](std::string&, C3dLayout& s) { s.firstFrame = 10, s.lastFrame = 5; },
         "ends (frame 5) before it starts (frame 10)"},
        {[](std::string& b, C3dLayout&) { b.resize(5 * 512 + 2 * 72); }, "holds 2 of the 5 frames"},
        {[](std::string&, C3dLayout& s) { s.points = 0, s.frames = 70, s.data.clear(); }, "no 3D points"},
        {[](std::string&, C3dLayout& s) { s.units = "furlong"; }, "\"furlong\" are none of mm, cm or m"},
        {[](std::string&, C3dLayout& s) { s.yScreen = "up"; }, "POINT:Y_SCREEN \"up\" names no axis"},
        {[](std::string&, C3dLayout& s) {
             for (auto& v : s.data)
                 v[3] = -1;
         },
         "none of its points has a valid sample"},
    };
    int n = 0;
    for (const auto& [patch, problem] : cases) {
        C3dLayout layout = good;
        std::string b = bytes;
        patch(b, layout);
        if (b == bytes)
            b = test::writeC3d(layout);
        const auto path = writeFile(dir, "bad" + std::to_string(n++) + ".c3d", b);
        MotionCaptureSession session;
        std::vector<std::string> errors;
        session.loadMarkers({path}, &errors);
        ASSERT_EQ(errors.size(), 1u) << problem;
        EXPECT_EQ(errors[0].rfind(path + ": cannot read C3D file: ", 0), 0u) << errors[0];
        EXPECT_NE(errors[0].find(problem), std::string::npos) << errors[0];
        EXPECT_EQ(session.markerCount(), 0) << problem;
        EXPECT_FALSE(session.loaded);
    }
}

TEST(C3dReader, SessionLoadsCaptureAndMarkerFilesInOrderWithOneNoticePerFile)
{
    test::TempDir dir;
    const auto c3d = writeFile(dir, "take.C3D", test::writeC3d(gappyTake(84, true)));
    const auto mov = dir.write("extra.mov", "1 2 3\n4 5 6\n").string();
    MotionCaptureSession s;
    std::vector<std::string> errors, notices;
    s.loadMarkers({mov, c3d}, &errors, &notices);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(s.markerCount(), 4);
    EXPECT_EQ(s.frameCount, 2);  // from the first trajectory, as for marker files
    EXPECT_EQ(s.markers[3]->index, 3);
    EXPECT_EQ(s.markers[3]->name, c3d + "/#2");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind("take.C3D: ", 0), 0u);

    // Without a list for them, notices are shown.
    test::CapturedMessages shown;
    MotionCaptureSession t;
    t.loadMarkers({c3d});
    EXPECT_EQ(shown.messages, notices);
}

// The shared take's source file against the marker files converted from it.
TEST(C3dReader, SharedSourceTakeMatchesItsMarkerFiles)
{
    const auto folder = test::sharedDataDir() / "hdm05_mm_locomotion";
    if (!std::filesystem::exists(folder / "source.c3d"))
        GTEST_SKIP() << "no shared source take at " << folder;
    CaptureFile file;
    std::string error;
    ASSERT_TRUE(readCaptureFile((folder / "source.c3d").string(), file, error)) << error;
    EXPECT_EQ(file.frameCount, 3990);
    EXPECT_DOUBLE_EQ(file.frameRate, 120.0);
    EXPECT_EQ(file.pointCount, 44);
    ASSERT_EQ(file.trajectories.size(), 44u);
    int compared = 0;
    for (const auto& t : file.trajectories) {
        const std::string label = displayFileName(t.name);
        if (label.rfind("meinard:", 0) != 0)
            continue;
        std::vector<Marker> mov;
        ASSERT_TRUE(readMarkerFile((folder / (label.substr(8) + ".mov")).string(), mov, error)) << error;
        ASSERT_EQ(mov.size(), t.samples.size()) << label;
        // The marker files hold centimetres to 4 decimals: half of 0.0001 cm, in scene units.
        const double tolerance = 0.5e-4 * 0.1 + 1e-9;
        double worst = 0;
        for (size_t f = 0; f < mov.size(); ++f) {
            const Vec3 d = t.samples[f].position - mov[f].position;
            worst = std::max({worst, std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
        }
        EXPECT_LE(worst, tolerance) << label;
        ++compared;
    }
    EXPECT_EQ(compared, 41);
}

} // namespace
} // namespace duolo
