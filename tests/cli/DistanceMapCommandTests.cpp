#include "CliRunner.h"

#include "motiongraph/DistanceMap.h"
#include "session/MotionCaptureSession.h"
#include "session/ProjectFile.h"
#include "skeleton/Group.h"
#include "skeleton/PoseBuilder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

namespace duolo::test {
namespace {

RgbImage readPng(const std::string& path)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    RgbImage image;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return image;
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int32_t>(png.width);
    image.height = static_cast<int32_t>(png.height);
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr))
        return {};
    return image;
}

TEST(CliDistanceMap, PngReadsBackAsTheMapOfTheSample)
{
    TempDir dir;
    const std::string project = (sampleDir() / "sample.dwz").string();
    const std::string out = dir.file("map.png").string();
    auto run = runCli({"distance-map", project, "--group", "0", "--threshold", "60", "--size", "100", "--out", out});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto json = run.json();
    EXPECT_EQ(json["cells"], 100);
    EXPECT_EQ(json["frameCount"], 400);
    EXPECT_EQ(json["threshold"], 60.0);

    // The same picture made here, pixel for pixel.
    std::string error;
    auto session = loadProject(project, error);
    ASSERT_TRUE(session) << error;
    Group& g = *session->groups.at(0);
    ASSERT_TRUE(buildPoses(g));
    ASSERT_TRUE(computeMaxFrameDistance(g));
    EXPECT_DOUBLE_EQ(json["maxFrameDistance"].get<double>(), g.maxFrameDistance);
    DistanceMap map;
    ASSERT_TRUE(computeDistanceMap(g.normalisedPoses, g.frameCount, 100, {}, map));
    const std::vector<FrameLink> none;
    const RgbImage expected = renderDistanceMapWithBar(map, {g.maxFrameDistance, 60.0, &none});
    const RgbImage png = readPng(out);
    ASSERT_EQ(png.width, expected.width);
    ASSERT_EQ(png.height, expected.height);
    EXPECT_EQ(json["width"], png.width);
    EXPECT_TRUE(png.pixels == expected.pixels);

    // With --gaps the build's transitions are marked in white.
    run = runCli({"distance-map", project, "--group", "0", "--gaps", "10", "--out", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_GT(run.json()["transitions"].get<int>(), 0);

    // Failures name the file; bad arguments exit 2.
    run = runCli({"distance-map", project, "--group", "7", "--out", out});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("sample.dwz"), std::string::npos);
    run = runCli({"distance-map", project, "--group", "0", "--out", dir.file("no/such/folder/map.png").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("map.png"), std::string::npos) << run.err;
    run = runCli({"distance-map", project, "--group", "0", "--size", "0", "--out", out});
    EXPECT_EQ(run.status, 2);
}

} // namespace
} // namespace duolo::test
