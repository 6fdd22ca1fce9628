// play --prune, --blend and --out; build-graphs --prune.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace duolo::test {
namespace {

using nlohmann::json;

std::vector<std::string> playArgs(const std::string& project, std::vector<std::string> extra)
{
    std::vector<std::string> args = {"play", project, "--gaps", "10", "--threshold-fraction", "0.4",
                                     "--seed", "7", "--passes", "3000"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// The coordinate rows of a TRC file written by play --out.
std::vector<std::vector<double>> trcRows(const std::string& text)
{
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    std::string line;
    for (int n = 0; std::getline(lines, line); ++n) {
        if (n < 6 || line.empty())
            continue;
        std::istringstream cells(line);
        std::vector<double> row;
        std::string cell;
        for (int c = 0; std::getline(cells, cell, '\t'); ++c)
            if (c >= 2)
                row.push_back(std::stod(cell));
        rows.push_back(row);
    }
    return rows;
}

double largestStep(const std::vector<double>& a, const std::vector<double>& b)
{
    double most = 0.0;
    for (size_t k = 0; k + 2 < a.size(); k += 3)
        most = std::max(most, std::hypot(b[k] - a[k], b[k + 1] - a[k + 1], b[k + 2] - a[k + 2]));
    return most;
}

TEST(CliPlayOptions, PruneEndsTheResetsAndBlendChangesOnlyTheWrittenPositions)
{
    TempDir dir;
    const std::string sample = (sampleDir() / "sample.dwz").string();
    const auto plain = runCli(playArgs(sample, {}));
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_GT(plain.json()["resets"].get<int>(), 0);  // this graph has dead ends

    const auto pruned = runCli(playArgs(sample, {"--prune"}));
    ASSERT_EQ(pruned.status, 0) << pruned.err;
    EXPECT_NE(pruned.err.find("play: --prune: group 0: kept 25 of 27 nodes (387 of 400 frames)"), std::string::npos)
        << pruned.err;
    const json p = pruned.json();
    EXPECT_EQ(p["resets"], 0);
    EXPECT_EQ(p["groups"][0]["nodes"], 25);

    // --out and --blend leave the trace as it is (--out only adds where it wrote).
    const std::string still = dir.file("still.trc").string(), smooth = dir.file("smooth.trc").string();
    const auto a = runCli(playArgs(sample, {"--prune", "--out", still}));
    const auto b = runCli(playArgs(sample, {"--prune", "--blend", "10", "--out", smooth}));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    for (const CliResult* r : {&a, &b}) {
        const json j = r->json();
        EXPECT_EQ(j["trace"], p["trace"]);
        EXPECT_EQ(j["resets"], p["resets"]);
        EXPECT_EQ(j["outFrames"], 3000);
    }
    const auto stillRows = trcRows(slurp(still)), smoothRows = trcRows(slurp(smooth));
    ASSERT_EQ(stillRows.size(), 3000u);
    ASSERT_EQ(smoothRows.size(), 3000u);
    EXPECT_EQ(stillRows[0].size(), 44u * 3);
    EXPECT_EQ(stillRows[0], smoothRows[0]);
    // Blended, no step between rows comes near the largest unblended one.
    double stillMost = 0.0, smoothMost = 0.0;
    for (size_t r = 1; r < stillRows.size(); ++r) {
        stillMost = std::max(stillMost, largestStep(stillRows[r - 1], stillRows[r]));
        smoothMost = std::max(smoothMost, largestStep(smoothRows[r - 1], smoothRows[r]));
    }
    EXPECT_LT(smoothMost, 0.5 * stillMost);

    // A graph without a cycle is kept and named.
    const auto bare = runCli({"play", sample, "--gaps", "10", "--threshold-fraction", "0.1", "--seed", "1",
                              "--passes", "5", "--prune"});
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.err.find("group 0: the largest strongly connected component has no edge"), std::string::npos);

    auto refused = [&](std::vector<std::string> extra, const std::string& fragment) {
        const auto r = runCli(playArgs(sample, extra));
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    };
    refused({"--blend", "31"}, "--blend must be 0 to 30");
    refused({"--blend", "-1"}, "--blend must be 0 to 30");
    refused({"--out", dir.file("x.csv").string()}, "must name a .trc or .c3d file");
}

} // namespace
} // namespace duolo::test

namespace duolo::test {
namespace {

TEST(CliSynthesize, FollowsAPathWritesTheMarkersAndRefusesBadPaths)
{
    TempDir dir;
    const std::string sample = (sampleDir() / "sample.dwz").string();
    const std::string out = dir.file("walk.trc").string();
    // The sample walks along its depth axis: a short straight path that way.
    const std::string path = dir.write("path.json", R"({"points": [[0, 0], [0, -6]]})").string();
    const auto walked = runCli({"synthesize", sample, "--gaps", "10", "--threshold-fraction", "0.4", "--prune",
                                "--group", "0", "--path", path, "--blend", "5", "--max-passes", "3000", "--out", out});
    ASSERT_EQ(walked.status, 0) << walked.err;
    const nlohmann::json result = walked.json();
    EXPECT_DOUBLE_EQ(result["pathLength"].get<double>(), 6.0);
    const int frames = result["frames"].get<int>();
    EXPECT_GT(frames, 0);
    EXPECT_LE(result["meanDistance"].get<double>(), result["largestDistance"].get<double>());
    EXPECT_GE(result["searches"].get<int>(), result["endReached"].get<bool>() ? 0 : 1);
    EXPECT_EQ(result["resets"], 0);
    // One TRC row per pass, 44 markers.
    const std::string trc = slurp(out);
    std::string counts = std::to_string(frames);
    counts.append("\t44\tcm\t");
    EXPECT_NE(trc.find(counts), std::string::npos);

    auto refused = [&](const std::string& file, const std::string& text, const std::string& fragment) {
        const std::string p = dir.write(file, text).string();
        const auto r = runCli({"synthesize", sample, "--gaps", "10", "--threshold-fraction", "0.4", "--group", "0",
                               "--path", p, "--out", out});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(p), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    };
    refused("a.json", "{\"points\": [[0, 0]]}", "at least two points");
    refused("b.json", "{\"points\": [[0, 0], [1]]}", "[x, z]");
    refused("c.json", "not json", "not a path");
    const auto noGroup = runCli({"synthesize", sample, "--gaps", "10", "--threshold-fraction", "0.4", "--group", "3",
                                 "--path", path, "--out", out});
    EXPECT_EQ(noGroup.status, 2);
    EXPECT_NE(noGroup.err.find("the project has 1 groups"), std::string::npos) << noGroup.err;
}

TEST(CliTurnTravel, TurnsWhereTheBodiesGoNotTheirWalk)
{
    TempDir dir;
    const std::string sample = (sampleDir() / "sample.dwz").string();
    auto play = [&](const std::string& out, bool turn) {
        std::vector<std::string> args{"play", sample, "--gaps", "10", "--threshold-fraction", "0.4", "--seed", "7",
                                      "--passes", "400", "--out", out};
        if (turn)
            args.push_back("--turn-travel");
        const auto r = runCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, r.out.find("\"out\""));
    };
    const std::string plain = dir.file("plain.trc").string(), turned = dir.file("turned.trc").string();
    EXPECT_EQ(play(plain, false), play(turned, true));  // the same clips, offsets and taps
    EXPECT_NE(slurp(plain), slurp(turned));               // placed elsewhere once a transition turns
}

} // namespace
} // namespace duolo::test
