#include "capture/CaptureReader.h"
#include "capture/MarkerFile.h"
#include "capture/NumberText.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace duolo {
namespace {

// Two points, four frames, y up: Toe misses its first frame (empty cells) and its last (a short
// row), Head one frame inside.
std::string trcText(const std::string& units, double perMillimetre)
{
    const auto v = [&](double mm) { return formatGeneral(mm * perMillimetre, 12); };
    std::string t = "PathFileType\t4\t(X/Y/Z)\ttake.trc\r\n"
                    "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames\r\n"
                    "60\t60\t4\t2\t" + units + "\t60\t1\t4\r\n"
                    "Frame#\tTime\tHead\t\t\tToe\t\t\r\n"
                    "\t\tX1\tY1\tZ1\tX2\tY2\tZ2\r\n"
                    "\r\n";
    t += "1\t0\t" + v(10) + "\t" + v(1700) + "\t" + v(20) + "\t\t\t\r\n";
    t += "2\t0.017\t" + v(11) + "\t" + v(1701) + "\t" + v(21) + "\t" + v(5) + "\t" + v(30) + "\t" + v(7) + "\r\n";
    t += "3\t0.033\t\t\t\t" + v(6) + "\t" + v(31) + "\t" + v(8) + "\r\n";
    t += "4\t0.05\t" + v(13) + "\t" + v(1703) + "\t" + v(23) + "\t" + v(7) + "\t" + v(32) + "\r\n";
    return t;
}

TEST(TrcReader, ReadsMillimetresAndMetresWithYUpAndFillsGaps)
{
    test::TempDir dir;
    for (const auto& [units, perMillimetre] : {std::pair<std::string, double>{"mm", 1.0}, {"m", 0.001}}) {
        const auto path = dir.write("take.trc", trcText(units, perMillimetre)).string();
        CaptureFile file;
        std::string error;
        ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
        EXPECT_EQ(file.format, "TRC");
        EXPECT_EQ(file.units, units);
        EXPECT_EQ(verticalAxisName(file.vertical), "+Y");
        EXPECT_DOUBLE_EQ(file.frameRate, 60.0);
        ASSERT_EQ(file.trajectories.size(), 2u);
        EXPECT_EQ(displayFileName(file.trajectories[0].name), "Head");
        EXPECT_EQ(displayFileName(file.trajectories[1].name), "Toe");
        // y up in the file: scene (x, height, depth) = (x, y, -z) / 100 for millimetres.
        const std::vector<std::vector<Vec3>> expected{
            {{10, 1700, 20}, {11, 1701, 21}, {12, 1702, 22}, {13, 1703, 23}},
            {{5, 30, 7}, {5, 30, 7}, {6, 31, 8}, {6, 31, 8}},
        };
        for (size_t p = 0; p < 2; ++p) {
            ASSERT_EQ(file.trajectories[p].samples.size(), 4u);
            for (size_t f = 0; f < 4; ++f) {
                const Vec3& e = expected[p][f];
                const Vec3& a = file.trajectories[p].samples[f].position;
                EXPECT_NEAR(a.x, e.x * 0.01, 1e-9) << units << " " << p << " " << f;
                EXPECT_NEAR(a.y, e.y * 0.01, 1e-9) << units << " " << p << " " << f;
                EXPECT_NEAR(a.z, -e.z * 0.01, 1e-9) << units << " " << p << " " << f;
            }
        }
        EXPECT_EQ(file.gaps.pointsWithGaps, 2);
        EXPECT_EQ(file.gaps.longestGap, 1);
        EXPECT_EQ(file.note, "");
    }
    // The same take with every coordinate negated stands on -Y: upright again, and said so.
    const auto path = dir.write("down.trc", trcText("mm", -1.0)).string();
    CaptureFile file;
    std::string error;
    ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
    EXPECT_EQ(verticalAxisName(file.vertical), "-Y");
    EXPECT_NEAR(file.trajectories[0].samples[0].position.y, 17.0, 1e-9);
    EXPECT_EQ(file.note, "The file names no vertical axis (TRC files usually have +Y up), but most samples lie "
                         "on the -Y side of the floor: -Y was taken as up.");
}

TEST(TrcReader, RefusesBrokenFiles)
{
    test::TempDir dir;
    const std::string good = trcText("mm", 1.0);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::vector<std::pair<std::string, std::string>> cases{
        {"1 2 3\n", "not a TRC file"},
        {good.substr(0, good.find("Frame#")), "its header needs five lines"},
        {replaced("\t1703\t", "\t17o3\t"), "line 10, column 4: \"17o3\" is not a number"},
        {replaced("60\t60\t4\t2", "60\t60\t9\t2"), "holds 4 of the 9 frames it declares"},
        {replaced("60\t60\t4\t2", "60\t60\t4\t50"), "NumMarkers (50) is more than the file can hold"},
        {replaced("60\t60\t4\t2", "60\t60\tmany\t2"), "no whole number for NumFrames"},
        {replaced("\tmm\t", "\tft\t"), "\"ft\" are none of mm, cm or m"},
    };
    for (const auto& [text, problem] : cases) {
        const auto path = dir.write("bad.trc", text).string();
        CaptureFile file;
        std::string error;
        EXPECT_FALSE(readCaptureFile(path, file, error)) << problem;
        EXPECT_EQ(error.rfind(path + ": cannot read TRC file: ", 0), 0u) << error;
        EXPECT_NE(error.find(problem), std::string::npos) << error;
    }
}

} // namespace
} // namespace duolo
