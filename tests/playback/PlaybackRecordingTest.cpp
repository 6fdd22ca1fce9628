#include "capture/TrcFile.h"
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
        EXPECT_TRUE(recording.addFrame({{0.1 * f - 3.25, 0.0000123 * f, 98.7654321 + f}, {-f * 1.0 / 3.0, 12.5, -0.5}}));
    return recording;
}

TEST(PlaybackRecording, TrcRoundTripGivesBackTheRecordedPoints)
{
    // The written numbers must not depend on the user's locale.
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    const PlaybackRecording recording = recordedTake(30);
    EXPECT_EQ(recording.markerNames(), (std::vector<std::string>{"Group0_LTOE", "Group1_Centroid_4"}));

    test::TempDir dir;
    const std::string path = dir.file("ensemble.trc").string();
    std::string error;
    ASSERT_TRUE(writeTrcFile(path, recording.toTrc(10.0, "cm"), error)) << error;
    TrcTake back;
    ASSERT_TRUE(readTrcFile(path, back, error)) << error;
    if (german)
        std::setlocale(LC_ALL, "C");

    EXPECT_EQ(back.frameRate, 25.0);
    EXPECT_EQ(back.units, "cm");
    EXPECT_EQ(back.markerNames, recording.markerNames());
    ASSERT_EQ(back.frames.size(), 30u);
    for (int f = 0; f < 30; ++f) {
        for (size_t m = 0; m < 2; ++m) {
            const Vec3 expected = recording.point(f, m) * 10.0;
            const Vec3& got = back.frames[static_cast<size_t>(f)][m];
            EXPECT_NEAR(got.x, expected.x, 1e-8 * (1 + std::abs(expected.x)));
            EXPECT_NEAR(got.y, expected.y, 1e-8 * (1 + std::abs(expected.y)));
            EXPECT_NEAR(got.z, expected.z, 1e-8 * (1 + std::abs(expected.z)));
        }
    }
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

TEST(TrcFile, MalformedFilesAreRefusedWithAReason)
{
    std::string text = formatTrc(recordedTake(3).toTrc(1.0, "cm"), "x.trc");
    TrcTake take;
    std::string error;
    ASSERT_TRUE(parseTrc(text, take, error)) << error;

    EXPECT_FALSE(parseTrc("hello\n", take, error));
    EXPECT_NE(error.find("PathFileType"), std::string::npos);

    std::string truncated = text.substr(0, text.rfind('\t'));  // the last coordinate is missing
    EXPECT_FALSE(parseTrc(truncated, take, error));
    EXPECT_NE(error.find("fewer coordinates"), std::string::npos);

    std::string lost = text.substr(0, text.rfind('\n', text.size() - 2) + 1);  // the last frame is missing
    EXPECT_FALSE(parseTrc(lost, take, error));
    EXPECT_NE(error.find("frames"), std::string::npos);

    test::TempDir dir;
    EXPECT_FALSE(writeTrcFile((dir.path() / "missing" / "x.trc").string(), take, error));
    EXPECT_NE(error.find("x.trc"), std::string::npos);
}

} // namespace
} // namespace duolo
