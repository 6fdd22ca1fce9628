#include "CliRunner.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace duolo::test {
namespace {

using nlohmann::json;

TEST(CliGraphFile, SavedGraphsPlayAsBuiltAndMissingMismatchedOrConflictingOnesAreRefused)
{
    TempDir dir;
    const std::string project = dir.file("walk.dwz").string();  // its graph file lands beside it
    std::filesystem::copy_file(sampleDir() / "sample.dwz", project);
    const std::vector<std::string> savedPlay = {"play", project, "--saved-graphs", "--seed", "1", "--passes", "3"};
    const auto none = runCli(savedPlay);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("walk.graphs"), std::string::npos) << none.err;
    EXPECT_EQ(runCli({"info", project}).json()["graphFile"]["present"], false);

    const auto built = runCli({"build-graphs", project, "--gaps", "10", "--threshold-fraction", "0.4"});
    ASSERT_EQ(built.status, 0) << built.err;
    const json b = built.json();
    EXPECT_EQ(b["graphFile"], dir.file("walk.graphs").string());
    ASSERT_EQ(b["groups"].size(), 1u);

    const std::vector<std::string> tail = {"--seed", "5", "--passes", "2000", "--rotation-limit", "60",
                                           "--balance-tolerance", "10"};
    auto play = [&](std::vector<std::string> args) {
        args.insert(args.end(), tail.begin(), tail.end());
        return runCli(args);
    };
    const auto fresh = play({"play", project, "--gaps", "10", "--threshold-fraction", "0.4"});
    const auto saved = play({"play", project, "--saved-graphs"});
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(saved.json()["trace"], fresh.json()["trace"]);
    EXPECT_EQ(saved.json()["groups"][0]["threshold"], fresh.json()["groups"][0]["threshold"]);
    EXPECT_EQ(play({"play", project, "--saved-graphs", "--gaps", "10"}).status, 2);

    // graph-info: the nodes and edges in list order; info: the file is there and matches.
    const json group = runCli({"graph-info", project}).json()["groups"][0];
    EXPECT_EQ(group["nodes"].size(), b["groups"][0]["nodes"].get<size_t>());
    EXPECT_EQ(group["edges"].size(), b["groups"][0]["edges"].get<size_t>());
    const json described = runCli({"info", project}).json()["graphFile"];
    EXPECT_EQ(described["present"], true);
    EXPECT_EQ(described["matches"], true);
    EXPECT_EQ(described["groups"][0]["nodes"], b["groups"][0]["nodes"]);

    // The project is rewritten with one more edge (by another program, say): its old graphs
    // no longer apply.
    std::filesystem::remove(project);
    json recipe = json::parse(slurp(sampleDir() / "sample-recipe.json"));
    recipe["steps"].push_back({{"op", "edge"}, {"a", 0}, {"b", 1}});
    for (auto& m : recipe["markers"])
        m = (sampleDir() / m.get<std::string>()).string();
    ASSERT_EQ(runCli({"make-project", dir.write("r.json", recipe.dump()).string(), project}).status, 0);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"graph-info", project}, savedPlay}) {
        const auto refused = runCli(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("walk.graphs"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("walk.dwz"), std::string::npos) << refused.err;
    }
    EXPECT_EQ(runCli({"info", project}).json()["graphFile"]["matches"], false);
}

} // namespace
} // namespace duolo::test
