#include "CliRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>

namespace duolo::test {
namespace {

using nlohmann::json;

// A walker going round a circle with a swinging foot: enough variety in the speeds for some
// pairs of frames to be comparable and most not.
struct CircleTake {
    TempDir dir;
    std::string project;
    CircleTake()
    {
        std::filesystem::create_directory(dir.file("m"));
        std::string hip, front, neck, toe;
        char line[128];
        for (int f = 0; f < 240; ++f) {
            const double t = f * 2 * M_PI / 80.0;
            const double speed = 1.0 + 0.2 * std::sin(t * 3);
            const double hx = 100 * std::cos(t * speed), hy = 100 * std::sin(t * speed);
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", hx, hy, 90 + 2 * std::sin(t * 2));
            hip += line;
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", hx - 20 * std::sin(t * speed), hy + 20 * std::cos(t * speed), 91.0 + std::cos(t));
            front += line;
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", hx + std::sin(t * 5), hy + std::cos(t * 7), 150 + std::sin(t * 4));
            neck += line;
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f\n", hx + 10 * std::sin(t * 4), hy + 7 * std::cos(t * 4), 8 + 5 * std::sin(t * 4));
            toe += line;
        }
        dir.write("m/hip.mov", hip);
        dir.write("m/front.mov", front);
        dir.write("m/neck.mov", neck);
        dir.write("m/toe.mov", toe);
        const json recipe = {{"markers", {"m/hip.mov", "m/front.mov", "m/neck.mov", "m/toe.mov"}},
                             {"steps", json::parse(R"([
                                 {"op": "group", "markers": [0, 1, 2, 3]},
                                 {"op": "heading", "group": 0, "a": 0, "b": 1},
                                 {"op": "up", "group": 0, "a": 0, "b": 2}])")}};
        project = dir.file("circle.dwz").string();
        auto made = runCli({"make-project", dir.write("recipe.json", recipe.dump()).string(), project});
        EXPECT_EQ(made.status, 0) << made.err;
    }
};

TEST(CliGraph, FastAndExactPrintTheSameGraph)
{
    CircleTake take;
    for (const char* threshold : {"5", "10", "25", "1e9"}) {
        auto fast = runCli({"graph", take.project, "--group", "0", "--gaps", "5", "--threshold", threshold});
        auto exact = runCli({"graph", take.project, "--group", "0", "--gaps", "5", "--threshold", threshold, "--exact"});
        ASSERT_EQ(fast.status, 0) << fast.err;
        ASSERT_EQ(exact.status, 0) << exact.err;
        EXPECT_EQ(fast.out, exact.out) << threshold;

        const json g = fast.json();
        EXPECT_EQ(g["group"], 0);
        EXPECT_EQ(g["frameCount"], 240);
        EXPECT_TRUE(g["maxFrameDistance"].is_number());
        // Nodes tile the frames in order, edges name existing nodes.
        std::set<int> ids;
        int next = 0;
        for (const json& n : g["nodes"]) {
            EXPECT_EQ(n["startFrame"], next);
            next = n["endFrame"].get<int>() + 1;
            ids.insert(n["id"].get<int>());
        }
        EXPECT_EQ(next, 240);
        for (const json& e : g["edges"]) {
            EXPECT_TRUE(ids.count(e["from"].get<int>()));
            EXPECT_TRUE(ids.count(e["to"].get<int>()));
        }
        if (std::string(threshold) == "1e9") {
            EXPECT_GT(g["edges"].size(), 10u);
        }
    }
}

TEST(CliGraph, DistanceIsANumberOrNull)
{
    CircleTake take;
    auto first = runCli({"distance", take.project, "--group", "0", "--source", "0", "--target", "5"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(first.json()["distance"].is_null());  // frame 0 has no velocity
    bool sawNumber = false;
    for (int target = 40; target < 240 && !sawNumber; target += 7) {
        auto d = runCli({"distance", take.project, "--group", "0", "--source", "120", "--target",
                         std::to_string(target)});
        ASSERT_EQ(d.status, 0) << d.err;
        sawNumber = d.json()["distance"].is_number();
    }
    EXPECT_TRUE(sawNumber);
}

TEST(CliGraph, FailuresNameTheFileAndSetTheStatus)
{
    CircleTake take;
    auto noGroup = runCli({"graph", take.project, "--group", "4", "--gaps", "5", "--threshold", "3"});
    EXPECT_EQ(noGroup.status, 1);
    EXPECT_NE(noGroup.err.find(take.project), std::string::npos);
    EXPECT_TRUE(noGroup.out.empty());

    auto outside = runCli({"distance", take.project, "--group", "0", "--source", "0", "--target", "240"});
    EXPECT_EQ(outside.status, 1);
    EXPECT_NE(outside.err.find("240"), std::string::npos);

    auto missing = runCli({"graph", take.dir.file("none.dwz").string(), "--group", "0", "--gaps", "5",
                           "--threshold", "3"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.dwz"), std::string::npos);

    auto badNumber = runCli({"graph", take.project, "--group", "0", "--gaps", "five", "--threshold", "3"});
    EXPECT_EQ(badNumber.status, 2);
    auto noThreshold = runCli({"graph", take.project, "--group", "0", "--gaps", "5"});
    EXPECT_EQ(noThreshold.status, 2);
}

} // namespace
} // namespace duolo::test
