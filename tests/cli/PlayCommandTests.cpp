#include "CliRunner.h"
#include "capture/CaptureReader.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace duolo::test {
namespace {

using nlohmann::json;

std::vector<std::string> playArgs(const std::string& project, const std::string& seed)
{
    return {"play", project, "--gaps", "10", "--threshold-fraction", "0.4", "--seed", seed, "--passes", "600",
            "--rotation-limit", "60", "--balance-tolerance", "10"};
}

// The sample walker twice over: the second body on its own copy of the markers (its colliders
// set in its own group), placed relative to the first as a loaded project places it.
std::string duetProject(const TempDir& dir)
{
    const json sample = json::parse(slurp(sampleDir() / "sample-recipe.json"));
    const int files = static_cast<int>(sample["markers"].size());
    json recipe = {{"markers", json::array()}, {"steps", json::array()}};
    for (int copy = 0; copy < 2; ++copy)
        for (const auto& path : sample["markers"])
            recipe["markers"].push_back((sampleDir() / path.get<std::string>()).string());
    // Marker numbers: both copies' files first, then each copy's three centroids.
    for (int copy = 0; copy < 2; ++copy) {
        auto remap = [&](int i) { return i < files ? i + copy * files : i + files + copy * 3; };
        for (json step : sample["steps"]) {
            if (copy == 1 && step["op"] == "collider") {
                step["op"] = "colliderInGroup";
                step["groups"] = {copy};
            }
            for (const char* key : {"a", "b"})
                if (step.contains(key))
                    step[key] = remap(step[key].get<int>());
            if (step.contains("markers"))
                for (auto& m : step["markers"])
                    m = remap(m.get<int>());
            if (step.contains("group"))
                step["group"] = copy;
            if (step.contains("groups"))
                step["groups"] = {copy};
            recipe["steps"].push_back(step);
        }
    }
    const auto recipePath = dir.write("duet.json", recipe.dump()).string();
    const auto project = dir.file("duet.dwz").string();
    auto made = runCli({"make-project", recipePath, project});
    EXPECT_EQ(made.status, 0) << made.err;
    return project;
}

std::string afterFirstLine(const std::string& text) { return text.substr(text.find('\n')); }

TEST(CliPlay, TheSeedDecidesTheTrace)
{
    TempDir dir;
    const std::string sample = (sampleDir() / "sample.dwz").string();
    const auto first = runCli(playArgs(sample, "7"));
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(runCli(playArgs(sample, "7")).out, first.out);
    EXPECT_EQ(afterFirstLine(runCli(playArgs(sample, "4294967303")).out), afterFirstLine(first.out));  // 2^32 + 7
    // Any whole number is a seed, taken modulo 2^32 and echoed as written.
    const auto huge = runCli(playArgs(sample, "18446744073709551623"));  // 2^64 + 7
    EXPECT_EQ(huge.out.rfind("{\"seed\": 18446744073709551623,", 0), 0u) << huge.err;
    EXPECT_EQ(afterFirstLine(huge.out), afterFirstLine(first.out));
    EXPECT_EQ(afterFirstLine(runCli(playArgs(sample, "-4294967289")).out), afterFirstLine(first.out));
    const auto other = runCli(playArgs(sample, "8"));
    ASSERT_EQ(other.status, 0) << other.err;

    const json a = first.json();
    const json b = other.json();
    EXPECT_EQ(a["seed"], 7);
    EXPECT_EQ(a["passes"], 600);
    ASSERT_EQ(a["groups"].size(), 1u);
    const json& group = a["groups"][0];
    EXPECT_EQ(group["frameCount"], 400);
    EXPECT_EQ(group["threshold"].get<double>(), std::trunc(0.4 * group["maxFrameDistance"].get<double>()));
    EXPECT_GT(group["nodes"].get<int>(), 2);
    ASSERT_EQ(a["trace"].size(), 600u);
    EXPECT_EQ(a["trace"][0][0].size(), 9u);
    EXPECT_NE(a["trace"], b["trace"]);
    // Taps happen as the feet land, and every pass moves the walker one frame along some clip.
    int taps = 0;
    for (const auto& pass : a["trace"])
        taps += pass[0][8].get<int>();
    EXPECT_GT(taps, 10);
    EXPECT_TRUE(a["resets"].is_number_integer());

    // Gaps below 1 build the graph as gaps 1 do, as everywhere else.
    auto withGaps = [&](const char* gaps) {
        auto args = playArgs(sample, "7");
        args[3] = gaps;
        return runCli(args);
    };
    const auto one = withGaps("1");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(withGaps("0").out, one.out);

    const std::string duet = duetProject(dir);
    const auto both = runCli(playArgs(duet, "11"));
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(runCli(playArgs(duet, "11")).out, both.out);
    const json d = both.json();
    ASSERT_EQ(d["groups"].size(), 2u);
    EXPECT_EQ(d["trace"][599].size(), 2u);
    int secondTaps = 0;  // the second body's feet tap too
    for (const auto& pass : d["trace"])
        secondTaps += pass[1][8].get<int>();
    EXPECT_GT(secondTaps, 10);

    // --out records what played without changing the trace, in either format: one row per pass,
    // every member of both groups. (That each format reads back where it was recorded, the
    // recording's own tests check.)
    std::vector<size_t> markers;
    for (const char* name : {"duet.c3d", "duet.trc"}) {
        auto args = playArgs(duet, "11");
        args.insert(args.end(), {"--out", dir.file(name).string()});
        const auto r = runCli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.json()["trace"], d["trace"]);
        CaptureFile written;
        std::string error;
        ASSERT_TRUE(readCaptureFile(dir.file(name).string(), written, error)) << error;
        EXPECT_EQ(written.frameCount, 600) << name;
        markers.push_back(written.trajectories.size());
    }
    EXPECT_GT(markers[0], 20u);
    EXPECT_EQ(markers[1], markers[0]);
}

TEST(CliPlay, BadArgumentsAndBadProjects)
{
    const std::string sample = (sampleDir() / "sample.dwz").string();
    auto expectFailure = [](const CliResult& r, int status, const std::string& fragment) {
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    };
    const std::vector<std::string> base = {"play", sample, "--gaps", "10", "--seed", "1", "--passes", "5"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args);
    };
    expectFailure(with({}), 2, "--threshold");
    expectFailure(runCli({"play", sample, "--gaps", "10", "--threshold", "5", "--passes", "5"}), 2,
                  "--seed is required (usage: duolo-mg play PROJECT.dwz");
    expectFailure(with({"--threshold", "5", "--threshold-fraction", "0.1"}), 2, "--threshold");
    expectFailure(runCli({"play", sample, "--gaps", "10", "--threshold", "5", "--seed", "x", "--passes", "5"}), 2,
                  "--seed");
    expectFailure(with({"--threshold", "5", "--balance-tolerance", "-1"}), 2, "--balance-tolerance");
    expectFailure(with({"--threshold", "5", "--balance-tolerance", "inf"}), 2, "--balance-tolerance");

    TempDir dir;
    const auto damaged = dir.write("damaged.dwz", slurp(sample).substr(0, 100)).string();
    expectFailure(runCli({"play", damaged, "--gaps", "10", "--threshold", "5", "--seed", "1", "--passes", "5"}), 1,
                  damaged);

    // A group without a heading cannot be posed.
    std::filesystem::create_directory(dir.file("m"));
    dir.write("m/a.mov", "0 0 90\n0 10 90\n");
    dir.write("m/b.mov", "0 20 90\n0 30 90\n");
    const json recipe = {{"markers", {"m/a.mov", "m/b.mov"}},
                         {"steps", json::parse(R"([{"op": "group", "markers": [0, 1]}])")}};
    const auto project = dir.file("bare.dwz").string();
    ASSERT_EQ(runCli({"make-project", dir.write("r.json", recipe.dump()).string(), project}).status, 0);
    expectFailure(runCli({"play", project, "--gaps", "10", "--threshold", "5", "--seed", "1", "--passes", "5"}), 1,
                  project + ": group 0");
}

} // namespace
} // namespace duolo::test
