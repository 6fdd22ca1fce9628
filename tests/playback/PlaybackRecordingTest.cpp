#include "capture/CaptureReader.h"
#include "capture/TrcWriter.h"
#include "playback/PlaybackRecording.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace duolo {
namespace {

// Two markers, a few frames of awkward values (negative, tiny, many digits).
PlaybackRecording recordedTake(int frames)
{
    PlaybackRecording recording;
    recording.start({recordingMarkerName(0, "/takes/LTOE.mov C:0 C:3"), recordingMarkerName(1, "Centroid 4")});
    for (int f = 0; f < frames; ++f)
        EXPECT_TRUE(recording.addFrame({{0.1 * f - 3.25, 0.0000123 * f + 1, 98.7654321 + f}, {-f * 1.0 / 3.0 - 1, 12.5, -0.5}}));
    return recording;
}

void expectNear(const Vec3& got, const Vec3& want)
{
    EXPECT_NEAR(got.x, want.x, 1e-8 * (1 + std::abs(want.x)));
    EXPECT_NEAR(got.y, want.y, 1e-8 * (1 + std::abs(want.y)));
    EXPECT_NEAR(got.z, want.z, 1e-8 * (1 + std::abs(want.z)));
}

TEST(PlaybackRecording, TheExportReadsBackThroughTheCaptureImporter)
{
    // The written numbers must not depend on the user's locale.
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const PlaybackRecording recording = recordedTake(30);
    EXPECT_EQ(recording.markerNames(), (std::vector<std::string>{"Group0_LTOE", "Group1_Centroid_4"}));
    const std::string text = formatTrc(recording.toTrc(10.0, "cm"), "ensemble.trc");
    if (german)
        std::setlocale(LC_ALL, "C");

    // As the file holds it: centimetres, y up, right-handed (the scene's depth turned round).
    RawCaptureTake raw;
    std::string problem;
    ASSERT_TRUE(trcReader().read(text, raw, problem)) << problem;
    EXPECT_EQ(raw.frameRate, 25.0);
    EXPECT_EQ(raw.units, "cm");
    ASSERT_EQ(raw.points.size(), 2u);
    EXPECT_EQ(raw.points[1].label, "Group1_Centroid_4");
    ASSERT_EQ(raw.points[0].samples.size(), 30u);
    for (int f = 0; f < 30; ++f)
        for (size_t m = 0; m < 2; ++m) {
            const Vec3 p = recording.point(f, m);
            expectNear(raw.points[m].samples[static_cast<size_t>(f)].position, Vec3{p.x, p.y, -p.z} * 10.0);
        }

    // Imported as trajectories, the points come back where they were recorded.
    test::TempDir dir;
    const std::string path = dir.file("ensemble.trc").string();
    std::string error;
    ASSERT_TRUE(writeTrcFile(path, recording.toTrc(10.0, "cm"), error)) << error;
    CaptureFile file;
    ASSERT_TRUE(readCaptureFile(path, file, error)) << error;
    ASSERT_EQ(file.trajectories.size(), 2u);
    for (int f = 0; f < 30; ++f)
        for (size_t m = 0; m < 2; ++m)
            expectNear(file.trajectories[m].samples[static_cast<size_t>(f)].position, recording.point(f, m));

    EXPECT_FALSE(writeTrcFile((dir.path() / "missing" / "x.trc").string(), recording.toTrc(1.0, "cm"), error));
    EXPECT_NE(error.find("x.trc"), std::string::npos);
}

TEST(PlaybackRecording, MemoryStaysWithinItsLimit)
{
    PlaybackRecording recording(10 * 2 * sizeof(Vec3));  // room for ten frames of two markers
    recording.start({"a", "b"});
    EXPECT_FALSE(recording.addFrame({{1, 2, 3}}));  // wrong size: refused, still recording
    EXPECT_TRUE(recording.isRecording());
    for (int f = 0; f < 10; ++f)
        EXPECT_TRUE(recording.addFrame({{}, {}}));
    EXPECT_FALSE(recording.addFrame({{}, {}}));
    EXPECT_TRUE(recording.reachedLimit());
    EXPECT_FALSE(recording.isRecording());
    EXPECT_EQ(recording.frameCount(), 10);
    // One 44-marker body costs about 1.6 MB a minute.
    EXPECT_NEAR(PlaybackRecording::bytesPerMinute(44), 1.584e6, 1e3);
    recording.start({"c"});
    EXPECT_EQ(recording.frameCount(), 0);
    EXPECT_FALSE(recording.reachedLimit());
}

} // namespace
} // namespace duolo
