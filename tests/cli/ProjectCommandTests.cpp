#include "CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace duolo::test {
namespace {

using nlohmann::json;

// Four tiny marker files under m/ and a recipe beside them.
struct SmallTake {
    TempDir dir;
    SmallTake()
    {
        std::filesystem::create_directory(dir.file("m"));
        // Columns are x, depth, height (the file is z-up).
        dir.write("m/hip.mov", "0 0 90\n0 10 90\n0 20 90\n");
        dir.write("m/front.mov", "0 20 90\n0 30 90\n0 40 90\n");
        dir.write("m/neck.mov", "0 0 150\n0 10 150\n0 20 150\n");
        dir.write("m/toe.mov", "10 0 3\n10 10 9\n10 20 3\n");
    }
    std::string recipe(const json& steps, std::vector<std::string> markers = {"m/hip.mov", "m/front.mov",
                                                                              "m/neck.mov", "m/toe.mov"}) const
    {
        return dir.write("recipe.json", json{{"markers", markers}, {"steps", steps}}.dump()).string();
    }
    std::string project() const { return dir.file("out.dwz").string(); }
};

const json kSkeletonSteps = json::parse(R"([
    {"op": "centroid", "markers": [0, 1]},
    {"op": "group", "markers": [0, 1, 2, 3, 4]},
    {"op": "heading", "group": 0, "a": 0, "b": 1},
    {"op": "up", "group": 0, "a": 0, "b": 2},
    {"op": "flipUp", "groups": [0]},
    {"op": "collider", "markers": [3]},
    {"op": "edge", "a": 2, "b": 0},
    {"op": "edge", "a": 0, "b": 3}
])");

TEST(CliMakeProject, BuildsTheSessionAndInfoDescribesIt)
{
    SmallTake take;
    auto made = runCli({"make-project", take.recipe(kSkeletonSteps), take.project()});
    ASSERT_EQ(made.status, 0) << made.err;
    const json summary = made.json();
    EXPECT_EQ(summary["markers"], 5);
    EXPECT_EQ(summary["groups"], 1);
    EXPECT_EQ(summary["edges"], 2);
    // The save's notes go to stderr, never into the JSON.
    EXPECT_NE(made.err.find("-1 root"), std::string::npos);

    auto info = runCli({"info", take.project()});
    ASSERT_EQ(info.status, 0) << info.err;
    const json d = info.json();
    EXPECT_EQ(d["loaded"], true);
    EXPECT_EQ(d["frameCount"], 3);
    EXPECT_EQ(d["nextColliderId"], 1);
    ASSERT_EQ(d["markers"].size(), 5u);
    EXPECT_EQ(d["markers"][0], json::parse(R"({"index": 0, "name": "m/hip.mov", "samples": 3,
                                               "colliderId": -1, "groupNumbers": [0]})"));
    EXPECT_EQ(d["markers"][3]["name"], "m/toe.mov C:0");
    EXPECT_EQ(d["markers"][3]["colliderId"], 0);
    EXPECT_EQ(d["markers"][4]["name"], "Centroid 4");
    // The selection is in session order, so the first edge runs from marker 0 to marker 2.
    EXPECT_EQ(d["edges"], json::parse(R"([{"index": 0, "from": 0, "to": 2}, {"index": 1, "from": 0, "to": 3}])"));
    ASSERT_EQ(d["groups"].size(), 1u);
    EXPECT_EQ(d["groups"][0], json::parse(R"({"groupNumber": 0, "firstGroupMark": -1, "colour": 9301233,
        "frameCount": 3, "members": [0, 1, 2, 3, 4], "hasHeading": true, "hasUp": true, "hasRoot": true})"));
}

TEST(CliMakeProject, ResaveIsByteIdentical)
{
    SmallTake take;
    ASSERT_EQ(runCli({"make-project", take.recipe(kSkeletonSteps), take.project()}).status, 0);
    const auto again = take.dir.file("again.dwz").string();
    auto r = runCli({"resave", take.project(), again});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(again), slurp(take.project()));

    const auto sampleAgain = take.dir.file("sample.dwz").string();
    r = runCli({"resave", (sampleDir() / "sample.dwz").string(), sampleAgain});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(slurp(sampleAgain) == slurp(sampleDir() / "sample.dwz"));
}

TEST(CliInfo, NamesThatAreNotUtf8AreShownAsWindows1252AndKeptAsStored)
{
    // A project written on Windows names "m/h\xEFp.mov" in Windows-1252: it loads, re-saves
    // byte for byte, and info prints the name as UTF-8 instead of failing.
    SmallTake take;
    ASSERT_EQ(runCli({"make-project", take.recipe(kSkeletonSteps), take.project()}).status, 0);
    std::string bytes = slurp(take.project());
    const auto at = bytes.find("m/hip.mov");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 3] = '\xEF';
    const auto windows = take.dir.write("windows.dwz", bytes).string();

    auto info = runCli({"info", windows});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.json()["markers"][0]["name"], "m/h\xC3\xAFp.mov");
    EXPECT_EQ(info.json()["markers"][1]["name"], "m/front.mov");
    const auto again = take.dir.file("again.dwz").string();
    ASSERT_EQ(runCli({"resave", windows, again}).status, 0);
    EXPECT_EQ(slurp(again), bytes);
}

TEST(CliMakeProject, TheCommittedSampleIsWhatItsRecipeMakes)
{
    TempDir dir;
    const auto out = dir.file("sample.dwz").string();
    auto r = runCli({"make-project", (sampleDir() / "sample-recipe.json").string(), out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(slurp(out) == slurp(sampleDir() / "sample.dwz"))
        << "resources/sample/sample.dwz is out of date: run scripts/make-sample.sh";
}

TEST(CliPoses, PrintsOneFrameOfTheGroupsPoses)
{
    auto r = runCli({"poses", (sampleDir() / "sample.dwz").string(), "--group", "0", "--frame", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json d = r.json();
    ASSERT_EQ(d["normalised"].size(), 44u);
    ASSERT_EQ(d["world"].size(), 44u);
    EXPECT_EQ(d["centre"].size(), 3u);
    for (const char* key : {"pitch", "yaw", "roll", "supportWeight"})
        EXPECT_TRUE(d[key].is_number()) << key;
    // The root (the pelvis centroid, member 41) sits at the origin of the normalised pose.
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(d["normalised"][41][k].get<double>(), 0.0, 1e-9);
    // The head is above the toes once the up vector is flipped to point up.
    EXPECT_GT(d["normalised"][0][1].get<double>(), d["normalised"][32][1].get<double>());
    // The feet are on the floor at the start of the take.
    ASSERT_TRUE(d["support"].is_array());
    EXPECT_EQ(d["support"].size(), 2u);
    EXPECT_GT(d["supportWeight"].get<double>(), 0.0);
}

TEST(CliPoses, NoSupportPrintsNull)
{
    SmallTake take;
    json steps = kSkeletonSteps;
    steps.erase(5);  // no collider
    ASSERT_EQ(runCli({"make-project", take.recipe(steps), take.project()}).status, 0);
    auto r = runCli({"poses", take.project(), "--group", "0", "--frame", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.json()["support"].is_null());
    EXPECT_EQ(r.json()["supportWeight"], 0.0);
}

// --- Errors --------------------------------------------------------------------------------

void expectOneLineError(const CliResult& r, int status, const std::string& fragment)
{
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(CliErrors, UnknownOperation)
{
    SmallTake take;
    const auto recipe = take.recipe(json::parse(R"([{"op": "group", "markers": [0]}, {"op": "explode"}])"));
    expectOneLineError(runCli({"make-project", recipe, take.project()}), 1, recipe + ": step 1 (explode): unknown operation");
    EXPECT_FALSE(std::filesystem::exists(take.project()));
}

TEST(CliErrors, BadIndices)
{
    SmallTake take;
    auto run = [&](const char* steps) {
        return runCli({"make-project", take.recipe(json::parse(steps)), take.project()});
    };
    expectOneLineError(run(R"([{"op": "centroid", "markers": [0, 9]}])"), 1, "step 0 (centroid): no marker 9");
    expectOneLineError(run(R"([{"op": "flipUp", "groups": [0]}])"), 1, "step 0 (flipUp): no group 0");
    expectOneLineError(run(R"([{"op": "group", "markers": [0]}, {"op": "heading", "group": 0, "a": 0, "b": 7}])"),
                       1, "step 1 (heading): no marker 7");
    expectOneLineError(run(R"([{"op": "deleteEdges", "edges": [0]}])"), 1, "step 0 (deleteEdges): no edge 0");
    expectOneLineError(run(R"([{"op": "edge", "a": 0}])"), 1, "missing \"b\"");
    expectOneLineError(run(R"([{"op": "group", "markers": [0.5]}])"), 1, "must be a list of whole numbers");
    EXPECT_FALSE(std::filesystem::exists(take.project()));
}

TEST(CliMakeProject, StepsRunAsTheBuilderRunsThemAndShortfallsAreWarnings)
{
    // The builder's "Set Collider" with markers outside the first group still uses up a
    // collider number; every step whose builder precondition holds runs, and a step that
    // changes nothing or less than it lists is a warning, not a refusal.
    SmallTake take;
    const auto recipe = take.recipe(json::parse(R"([
        {"op": "group", "markers": [0, 1, 1]},
        {"op": "collider", "markers": [2]},
        {"op": "collider", "markers": [1, 3]},
        {"op": "heading", "group": 0, "a": 0, "b": 2},
        {"op": "centroid", "markers": [1]},
        {"op": "edge", "a": 1, "b": 1},
        {"op": "flipUp", "groups": [0]},
        {"op": "addToGroup", "markers": [1, 2], "group": 0},
        {"op": "removeFromGroup", "markers": [3], "group": 0},
        {"op": "edge", "a": 0, "b": 3},
        {"op": "deleteEdges", "edges": [0]},
        {"op": "mirror", "markers": [0, 1, 2]}
    ])"));
    auto made = runCli({"make-project", recipe, take.project()});
    ASSERT_EQ(made.status, 0) << made.err;
    for (const char* warning : {
             "warning: " , "step 0 (group): \"markers\" lists 1 twice; it counts once",
             "step 1 (collider): no listed marker is a member of the first group: collider 0 is used up on no marker",
             "step 2 (collider): marker 3 is not a member of the first group and gets no collider",
             "step 3 (heading): marker 2 is not a member of group 0; nothing done",
             "step 4 (centroid): a centroid needs at least two markers; nothing done",
             "step 5 (edge): an edge needs two different markers; nothing done",
             "step 6 (flipUp): group 0 has no up vector; nothing done",
             "step 7 (addToGroup): marker 1 is already a member of group 0; left as it is",
             "step 8 (removeFromGroup): marker 3 is not a member of group 0; nothing done",
             "step 11 (mirror): mirroring takes one or two markers; nothing done"})
        EXPECT_NE(made.err.find(warning), std::string::npos) << warning << "\n" << made.err;
    EXPECT_EQ(made.err.find("step 9"), std::string::npos) << made.err;
    EXPECT_EQ(made.err.find("step 10"), std::string::npos) << made.err;

    const json d = runCli({"info", take.project()}).json();
    EXPECT_EQ(d["nextColliderId"], 2);
    EXPECT_EQ(d["markers"][1]["name"], "m/front.mov C:1");
    EXPECT_EQ(d["markers"][1]["colliderId"], 1);
    EXPECT_EQ(d["markers"][2]["colliderId"], -1);
    EXPECT_EQ(d["markers"].size(), 4u);
    EXPECT_EQ(d["edges"].size(), 0u);
    EXPECT_EQ(d["groups"][0]["members"], json::parse("[0, 1, 2]"));
    EXPECT_EQ(d["groups"][0]["hasHeading"], false);
}

TEST(CliMakeProject, ColliderInGroupGivesEachListedGroupItsOwnNumber)
{
    SmallTake take;
    const auto recipe = take.recipe(json::parse(R"([
        {"op": "group", "markers": [0, 1]},
        {"op": "group", "markers": [2, 3]},
        {"op": "colliderInGroup", "markers": [3, 1], "groups": [1, 0]},
        {"op": "colliderInGroup", "markers": [0], "groups": [1]},
        {"op": "colliderInGroup", "markers": [], "groups": [0]}
    ])"));
    auto made = runCli({"make-project", recipe, take.project()});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.err.find("step 3 (colliderInGroup): marker 0 is not a member of a listed group"),
              std::string::npos) << made.err;
    EXPECT_NE(made.err.find("step 4 (colliderInGroup): no markers listed"), std::string::npos) << made.err;
    const json d = runCli({"info", take.project()}).json();
    EXPECT_EQ(d["nextColliderId"], 3);  // step 3 uses up a number on no marker
    EXPECT_EQ(d["markers"][1]["colliderId"], 0);
    EXPECT_EQ(d["markers"][3]["name"], "m/toe.mov C:1");
}

TEST(CliErrors, MissingArgumentsAreUsageErrors)
{
    SmallTake take;
    expectOneLineError(runCli({"make-project", take.recipe(kSkeletonSteps)}), 2, "out is required");
    expectOneLineError(runCli({"poses", (sampleDir() / "sample.dwz").string(), "--group", "0"}), 2,
                       "--frame is required");
    EXPECT_EQ(runCli({}).status, 2);
    EXPECT_EQ(runCli({"no-such-command"}).status, 2);
}

TEST(CliErrors, UnreadableFiles)
{
    SmallTake take;
    const auto missing = take.dir.file("missing.dwz").string();
    expectOneLineError(runCli({"info", missing}), 1, missing + ": cannot open");
    expectOneLineError(runCli({"resave", missing, take.project()}), 1, missing + ": cannot open");

    const auto garbage = take.dir.write("garbage.dwz", "this is not a project").string();
    expectOneLineError(runCli({"info", garbage}), 1, garbage + ": ");

    const auto recipe = take.recipe(json::array(), {"m/hip.mov", "m/nothing.mov"});
    expectOneLineError(runCli({"make-project", recipe, take.project()}), 1, "m/nothing.mov: cannot open marker file");

    const auto badJson = take.dir.write("bad.json", "{\"markers\": [").string();
    expectOneLineError(runCli({"make-project", badJson, take.project()}), 1, badJson + ": not a valid recipe");

    auto r = runCli({"make-project", take.recipe(kSkeletonSteps), take.project()});
    ASSERT_EQ(r.status, 0);
    const auto noFolder = take.dir.file("no/such/folder/x.dwz").string();
    // The save's notes come first; the failure is the last line.
    r = runCli({"resave", take.project(), noFolder});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("duolo-mg: " + noFolder + ": cannot write: No such file or directory\n"), std::string::npos) << r.err;
}

TEST(CliErrors, PosesNeedsAPosableGroupAndFrame)
{
    SmallTake take;
    ASSERT_EQ(runCli({"make-project", take.recipe(json::parse(R"([{"op": "group", "markers": [0, 1]}])")),
                      take.project()})
                  .status,
              0);
    expectOneLineError(runCli({"poses", take.project(), "--group", "0", "--frame", "0"}), 1,
                       "needs a heading vector, an up vector and a root");
    expectOneLineError(runCli({"poses", take.project(), "--group", "1", "--frame", "0"}), 1, "no group 1");
    expectOneLineError(runCli({"poses", take.project(), "--group", "0", "--frame", "3"}), 1, "frame 3 is outside");
}

TEST(CliSharedTake, FullTakeFromARecipeWithAbsolutePaths)
{
    if (!haveSharedData())
        GTEST_SKIP() << "the shared takes are not available";
    TempDir dir;
    const auto take = sharedDataDir() / "hdm05_mm_locomotion";
    json markers = json::array();
    for (const char* name : {"LFWT", "RFWT", "LBWT", "RBWT", "C7", "CLAV", "LTOE", "LHEE", "LMT5"})
        markers.push_back((take / (std::string(name) + ".mov")).string());
    const json steps = json::parse(R"([
        {"op": "centroid", "markers": [0, 1, 2, 3]},
        {"op": "centroid", "markers": [0, 1]},
        {"op": "centroid", "markers": [4, 5]},
        {"op": "group", "markers": [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11]},
        {"op": "heading", "group": 0, "a": 9, "b": 10},
        {"op": "up", "group": 0, "a": 9, "b": 11},
        {"op": "flipUp", "groups": [0]},
        {"op": "collider", "markers": [6, 7, 8]}
    ])");
    const auto recipe = dir.write("full.json", json{{"markers", markers}, {"steps", steps}}.dump()).string();
    const auto project = dir.file("full.dwz").string();
    auto r = runCli({"make-project", recipe, project});
    ASSERT_EQ(r.status, 0) << r.err;
    const json d = runCli({"info", project}).json();
    EXPECT_EQ(d["frameCount"], 3990);
    EXPECT_EQ(d["markers"][0]["name"], markers[0]);
    r = runCli({"poses", project, "--group", "0", "--frame", "3989"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.json()["world"].size(), 12u);
}

} // namespace
} // namespace duolo::test
