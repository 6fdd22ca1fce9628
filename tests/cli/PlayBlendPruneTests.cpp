// play --prune, --blend, --out and --turn-travel; synthesize.
#include "CliRunner.h"
#include "capture/CaptureReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

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

// The markers of a TRC file written by play --out, frame by frame.
std::vector<std::vector<Vec3>> trcFrames(const std::string& path)
{
    CaptureFile file;
    std::string error;
    EXPECT_TRUE(readCaptureFile(path, file, error)) << error;
    std::vector<std::vector<Vec3>> frames(static_cast<size_t>(file.frameCount));
    for (const auto& t : file.trajectories)
        for (size_t f = 0; f < frames.size(); ++f)
            frames[f].push_back(t.samples[f].position);
    return frames;
}

double largestStep(const std::vector<Vec3>& a, const std::vector<Vec3>& b)
{
    double most = 0.0;
    for (size_t k = 0; k < a.size(); ++k)
        most = std::max(most, std::hypot(b[k].x - a[k].x, b[k].y - a[k].y, b[k].z - a[k].z));
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
    EXPECT_EQ(p["resets"], 0);  // the dead ends are gone

    // --out, --blend and --turn-travel leave the trace as it is (--out only adds where it wrote).
    const std::string still = dir.file("still.trc").string(), smooth = dir.file("smooth.trc").string(),
                      turned = dir.file("turned.trc").string();
    const auto a = runCli(playArgs(sample, {"--prune", "--out", still}));
    const auto b = runCli(playArgs(sample, {"--prune", "--blend", "10", "--out", smooth}));
    const auto t = runCli(playArgs(sample, {"--prune", "--turn-travel", "--out", turned}));
    for (const CliResult* r : {&a, &b, &t}) {
        ASSERT_EQ(r->status, 0) << r->err;
        const json j = r->json();
        EXPECT_EQ(j["trace"], p["trace"]);
        EXPECT_EQ(j["outFrames"], 3000);
    }
    EXPECT_NE(slurp(turned), slurp(still));  // placed elsewhere once a transition turns
    const auto stillRows = trcFrames(still), smoothRows = trcFrames(smooth);
    ASSERT_EQ(stillRows.size(), 3000u);
    ASSERT_EQ(smoothRows.size(), 3000u);
    EXPECT_EQ(stillRows[0].size(), 44u);
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

    for (auto [option, value, fragment] : {std::tuple{"--blend", "31", "--blend must be 0 to 30"},
                                           {"--blend", "-1", "--blend must be 0 to 30"},
                                           {"--out", "x.csv", "must name a .trc or .c3d file"}}) {
        const auto r = runCli(playArgs(sample, {option, value}));
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    }
}

TEST(CliSynthesize, FollowsAPathWritesTheMarkersAndRefusesBadPaths)
{
    TempDir dir;
    const std::string sample = (sampleDir() / "sample.dwz").string();
    const std::string out = dir.file("walk.trc").string();
    auto synthesize = [&](const std::string& path, std::vector<std::string> extra) {
        std::vector<std::string> args{"synthesize", sample, "--gaps", "10", "--threshold-fraction", "0.4",
                                      "--path", path, "--out", out};
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args);
    };
    // The sample walks along its depth axis: a short straight path that way.
    const std::string path = dir.write("path.json", R"({"points": [[0, 0], [0, -6]]})").string();
    const auto walked = synthesize(path, {"--prune", "--group", "0", "--blend", "5", "--max-passes", "3000"});
    ASSERT_EQ(walked.status, 0) << walked.err;
    const json result = walked.json();
    EXPECT_DOUBLE_EQ(result["pathLength"].get<double>(), 6.0);
    EXPECT_GE(result["searches"].get<int>(), result["endReached"].get<bool>() ? 0 : 1);
    EXPECT_EQ(result["resets"], 0);
    const auto rows = trcFrames(out);  // one row per pass, 44 markers
    EXPECT_EQ(rows.size(), result["frames"].get<size_t>());
    EXPECT_EQ(rows.at(0).size(), 44u);

    for (auto [text, fragment] : {std::pair{"{\"points\": [[0, 0]]}", "at least two points"},
                                  {"{\"points\": [[0, 0], [1]]}", "[x, z]"}, {"not json", "not a path"}}) {
        const std::string bad = dir.write("bad.json", text).string();
        const auto r = synthesize(bad, {"--group", "0"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    }
    const auto noGroup = synthesize(path, {"--group", "3"});
    EXPECT_EQ(noGroup.status, 2);
    EXPECT_NE(noGroup.err.find("the project has 1 groups"), std::string::npos) << noGroup.err;
}

} // namespace
} // namespace duolo::test
