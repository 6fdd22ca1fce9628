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

    // --out and --blend leave the trace as it is, byte for byte.
    const std::string still = dir.file("still.trc").string(), smooth = dir.file("smooth.trc").string();
    const auto a = runCli(playArgs(sample, {"--prune", "--out", still}));
    const auto b = runCli(playArgs(sample, {"--prune", "--blend", "10", "--out", smooth}));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(a.out, pruned.out);
    EXPECT_EQ(b.out, pruned.out);
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
    refused({"--out", dir.file("x.csv").string()}, "must end in .trc");
}

TEST(CliPlayOptions, PrunedSavedGraphsPlayAsPlayPrunes)
{
    TempDir dir;
    const auto project = dir.file("walk.dwz");
    std::filesystem::copy_file(sampleDir() / "sample.dwz", project);
    const auto built = runCli({"build-graphs", project.string(), "--gaps", "10", "--threshold-fraction", "0.4", "--prune"});
    ASSERT_EQ(built.status, 0) << built.err;
    const json g = built.json()["groups"][0];
    EXPECT_EQ(g["nodes"], 25);
    EXPECT_EQ(g["pruned"]["nodesBefore"], 27);
    EXPECT_EQ(g["pruned"]["framesKept"], 387);
    EXPECT_EQ(g["pruned"]["hasCycle"], true);
    const auto saved = runCli({"play", project.string(), "--saved-graphs", "--seed", "7", "--passes", "3000"});
    const auto direct = runCli(playArgs(project.string(), {"--prune"}));
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.json()["trace"], direct.json()["trace"]);
    EXPECT_EQ(saved.json()["resets"], 0);
}

} // namespace
} // namespace duolo::test
