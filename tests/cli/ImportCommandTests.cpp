#include "CliRunner.h"
#include "support/C3dWriter.h"

#include <gtest/gtest.h>

namespace duolo::test {
namespace {

using nlohmann::json;

// Three points over four frames; "mid" misses frame 1 and "gone" every frame.
std::string threePointC3d()
{
    C3dLayout s;
    s.points = 3;
    s.frames = 4;
    s.labels = {"top", "mid", "gone"};
    s.rate = 50.0f;
    for (int f = 0; f < 4; ++f) {
        s.data.push_back({0, 10.0f * f, 1500, 0});
        s.data.push_back({0, 10.0f * f, f == 1 ? 0.0f : 900.0f, f == 1 ? -1.0f : 0.0f});
        s.data.push_back({0, 0, 0, -1});
    }
    return writeC3d(s);
}

TEST(CliImport, MakesAProjectOfTheFilesTrajectoriesAndSummarisesIt)
{
    TempDir dir;
    std::ofstream(dir.file("take.c3d"), std::ios::binary) << threePointC3d();
    const auto c3d = dir.file("take.c3d").string();
    const auto out = dir.file("take.dwz").string();
    auto r = runCli({"import", c3d, out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.json(), json::parse(R"({"project": ")" + out + R"(", "format": "C3D", "points": 3,
        "trajectories": 2, "labels": ["top", "mid"], "frames": 4, "rate": 50.0, "units": "mm",
        "verticalAxis": "+Z", "note": null,
        "gaps": {"pointsWithGaps": 1, "longestGap": 1, "filledSamples": 1, "leftOut": ["gone"]}})"));

    auto info = runCli({"info", out});
    ASSERT_EQ(info.status, 0) << info.err;
    const json d = info.json();
    EXPECT_EQ(d["frameCount"], 4);
    ASSERT_EQ(d["markers"].size(), 2u);
    EXPECT_EQ(d["markers"][1]["name"], c3d + "/mid");
    EXPECT_TRUE(d["groups"].empty());

    // A broken file: one line naming it, status 1; a marker file is not for import: status 2.
    std::string cut = threePointC3d();
    cut.resize(700);
    std::ofstream(dir.file("cut.c3d"), std::ios::binary) << cut;
    r = runCli({"import", dir.file("cut.c3d").string(), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("duolo-mg: " + dir.file("cut.c3d").string() + ": cannot read C3D file: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    dir.write("a.mov", "1 2 3\n");
    EXPECT_EQ(runCli({"import", dir.file("a.mov").string(), out}).status, 2);
}

TEST(CliMakeProject, CaptureFilesExpandToTheirPointsInTheMarkerList)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("m"));
    std::ofstream(dir.file("m/take.c3d"), std::ios::binary) << threePointC3d();
    dir.write("m/extra.mov", "1 2 3\n1 2 4\n1 2 5\n1 2 6\n");
    // Marker 2 is the .mov file after the C3D file's two loaded points.
    const json steps = json::parse(R"([{"op": "edge", "a": 0, "b": 2}])");
    const auto recipe =
        dir.write("recipe.json", json{{"markers", {"m/take.c3d", "m/extra.mov"}}, {"steps", steps}}.dump());
    const auto out = dir.file("out.dwz").string();
    auto r = runCli({"make-project", recipe.string(), out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.json()["markers"], 3);
    EXPECT_NE(r.err.find("take.c3d: 1 of 3 points had gaps"), std::string::npos) << r.err;
    const json d = runCli({"info", out}).json();
    EXPECT_EQ(d["markers"][0]["name"], "m/take.c3d/top");
    EXPECT_EQ(d["markers"][2]["name"], "m/extra.mov");
    EXPECT_EQ(d["edges"], json::parse(R"([{"index": 0, "from": 0, "to": 2}])"));
}

TEST(CliImport, TheUserDecidesTheVerticalAxisOnTheCommandLineAndInRecipes)
{
    TempDir dir;
    const auto c3d = dir.write("take.c3d", threePointC3d()).string();
    // The data stand on +Z; --up -Z is taken as it stands, with nothing to say.
    auto r = runCli({"import", c3d, dir.file("take.dwz").string(), "--up", "-Z"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.json()["verticalAxis"], "-Z");
    EXPECT_EQ(r.json()["note"], nullptr);
    for (const char* bad : {"Z", "+W", "up"}) {
        r = runCli({"import", c3d, dir.file("bad.dwz").string(), "--up", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("is none of +X, -X, +Y, -Y, +Z, -Z"), std::string::npos) << r.err;
    }

    // In a recipe: "up" per capture file; "+Z" here is what the file and its data say already.
    const auto project = [&](const json& entry, const std::string& name) {
        const auto recipe = dir.write(name + ".json", json{{"markers", {entry}}}.dump());
        return runCli({"make-project", recipe.string(), dir.file(name + ".dwz").string()});
    };
    ASSERT_EQ(project("take.c3d", "plain").status, 0);
    ASSERT_EQ(project({{"path", "take.c3d"}, {"up", "+Z"}}, "same").status, 0);
    ASSERT_EQ(project({{"path", "take.c3d"}, {"up", "-X"}}, "turned").status, 0);
    EXPECT_EQ(slurp(dir.file("plain.dwz")), slurp(dir.file("same.dwz")));
    EXPECT_NE(slurp(dir.file("plain.dwz")), slurp(dir.file("turned.dwz")));
    r = project({{"path", "take.c3d"}, {"up", "down"}}, "bad");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"up\" must be one of"), std::string::npos) << r.err;
}

} // namespace
} // namespace duolo::test
