#include "capture/C3dWriter.h"
#include "capture/CaptureReader.h"
#include "capture/MarkerFile.h"
#include "playback/PlaybackRecording.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace duolo {
namespace {

void expectFloatNear(const Vec3& got, const Vec3& want)
{
    // Float storage: about seven significant digits.
    EXPECT_NEAR(got.x, want.x, 1e-6 * (1 + std::abs(want.x)));
    EXPECT_NEAR(got.y, want.y, 1e-6 * (1 + std::abs(want.y)));
    EXPECT_NEAR(got.z, want.z, 1e-6 * (1 + std::abs(want.z)));
}

std::string c3dBytes(const C3dTake& take)
{
    std::string bytes, problem;
    EXPECT_TRUE(formatC3d(take, bytes, problem)) << problem;
    return bytes;
}

TEST(C3dWriter, RecordingsManyPointsAndLongTakesReadBack)
{
    PlaybackRecording recording;
    recording.start({recordingMarkerName(0, "/takes/LTOE.mov C:0"), recordingMarkerName(1, "Centroid 4")});
    for (int f = 0; f < 40; ++f)
        recording.addFrame({{0.1 * f - 3.25, 0.0123 * f + 1, 98.7654321 + f}, {-f / 3.0 - 1, 12.5, -0.5}});
    test::TempDir dir;
    const std::string path = dir.file("ensemble.c3d").string();
    std::string error;
    ASSERT_TRUE(writeC3dFile(path, recording.toC3d(), error)) << error;

    CaptureFile file;
    ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
    EXPECT_EQ(file.note, "");  // the data agree with the file's up axis
    ASSERT_EQ(file.trajectories.size(), 2u);
    for (int f = 0; f < 40; ++f)
        for (size_t m = 0; m < 2; ++m)
            expectFloatNear(file.trajectories[m].samples[static_cast<size_t>(f)].position, recording.point(f, m));

    // The groups name the points' descriptions, which the importer does not read.
    const std::string bytes = c3dBytes(recording.toC3d());
    for (const char* text : {"DESCRIPTIONS", "Group0", "Group1"})
        EXPECT_NE(bytes.find(text), std::string::npos) << text;
    EXPECT_EQ(bytes.size() % 512, 0u);

    EXPECT_FALSE(writeC3dFile((dir.path() / "missing" / "x.c3d").string(), recording.toC3d(), error));
    EXPECT_NE(error.find("x.c3d"), std::string::npos);

    // Labels past 255 points continue in LABELS2 and LABELS3; frames past 65535 need the TRIAL range.
    C3dTake many;
    many.frames.resize(2);
    for (int p = 0; p < 600; ++p) {
        std::string label = "P";  // appended, not concatenated: GCC 12 warns falsely on "P" + string
        many.labels.push_back(label += std::to_string(p));
        for (int f = 0; f < 2; ++f)
            many.frames[static_cast<size_t>(f)].push_back(Vec3{p * 1.5, -p * 0.25, 100.0 + p + f});
    }
    many.descriptions.assign(600, "Group0");
    RawCaptureTake raw;
    ASSERT_TRUE(c3dReader().read(c3dBytes(many), raw, error)) << error;
    ASSERT_EQ(raw.points.size(), 600u);
    EXPECT_EQ(raw.points[255].label, "P255");  // LABELS2
    EXPECT_EQ(raw.points[599].label, "P599");  // LABELS3
    expectFloatNear(raw.points[599].samples[1].position, many.frames[1][599]);

    C3dTake longTake;
    longTake.labels = {"A"};
    const size_t frames = 65535 + 70;
    for (size_t f = 0; f < frames; ++f)
        longTake.frames.push_back({Vec3{static_cast<double>(f), 2.0, 3.0 + static_cast<double>(f % 7)}});
    ASSERT_TRUE(c3dReader().read(c3dBytes(longTake), raw, error)) << error;
    ASSERT_EQ(raw.frameCount, static_cast<int32_t>(frames));
    expectFloatNear(raw.points[0].samples[frames - 1].position, longTake.frames[frames - 1][0]);
    expectFloatNear(raw.points[0].samples[65535].position, longTake.frames[65535][0]);

    C3dTake tooMany;
    tooMany.labels.assign(70000, "x");
    std::string out;
    EXPECT_FALSE(formatC3d(tooMany, out, error));
    EXPECT_NE(error.find("at most 65535 points"), std::string::npos) << error;
}

} // namespace
} // namespace duolo
