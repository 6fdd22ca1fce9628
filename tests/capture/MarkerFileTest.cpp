#include "capture/AnimatedMarker.h"
#include "capture/MarkerFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>

namespace duolo {
namespace {

void expectPosition(const Marker& m, double x, double y, double z)
{
    EXPECT_NEAR(m.position.x, x, 1e-12);
    EXPECT_NEAR(m.position.y, y, 1e-12);
    EXPECT_NEAR(m.position.z, z, 1e-12);
}

void expectVelocity(const Marker& m, double x, double y, double z)
{
    EXPECT_NEAR(m.velocity.x, x, 1e-12);
    EXPECT_NEAR(m.velocity.y, y, 1e-12);
    EXPECT_NEAR(m.velocity.z, z, 1e-12);
}

TEST(MarkerFileText, EmptyTextHasNoSamples)
{
    EXPECT_TRUE(parseMarkerText("").empty());
}

TEST(MarkerFileText, TwoLinesScaleAndSwapHeightIntoY)
{
    for (const char* text : {"1 2 3\n4 5 6\n", "1\t2\t3\r\n4\t5\t6\r\n"}) {
        SCOPED_TRACE(text);
        auto s = parseMarkerText(text);
        ASSERT_EQ(s.size(), 2u);
        expectPosition(s[0], 0.1, 0.3, 0.2);
        expectVelocity(s[0], 0, 0, 0);
        EXPECT_EQ(s[0].frame, 0);
        expectPosition(s[1], 0.4, 0.6, 0.5);
        expectVelocity(s[1], 0.3, 0.3, 0.3);
        EXPECT_EQ(s[1].frame, 1);
    }
}

TEST(MarkerFileText, SamplesAreCountedByLineFeeds)
{
    EXPECT_EQ(parseMarkerText("1 2 3\n4 5 6").size(), 1u);

    auto blankLine = parseMarkerText("1 2 3\n\n");
    ASSERT_EQ(blankLine.size(), 2u);
    expectPosition(blankLine[1], 0, 0, 0);
    expectVelocity(blankLine[1], -0.1, -0.3, -0.2);
}

TEST(MarkerFileText, TokensFormOneStream)
{
    // A blank before the carriage return makes the CR a token of its own, reading as 0.
    auto shifted = parseMarkerText("1 2 3 \r\n4 5 6\n");
    ASSERT_EQ(shifted.size(), 2u);
    expectPosition(shifted[0], 0.1, 0.3, 0.2);
    expectPosition(shifted[1], 0.0, 0.5, 0.4);  // tokens "\r", "4", "5"

    // A fourth value on the first line shifts the rest; the last value is never read.
    auto extra = parseMarkerText("1 2 3 4\n5 6 7\n");
    ASSERT_EQ(extra.size(), 2u);
    expectPosition(extra[0], 0.1, 0.3, 0.2);
    expectPosition(extra[1], 0.4, 0.6, 0.5);
}

TEST(MarkerFileText, UnparsableTokensReadAsZeroAndPrefixesCount)
{
    auto s = parseMarkerText("abc 2.5e1x -3.\n");
    ASSERT_EQ(s.size(), 1u);
    expectPosition(s[0], 0.0, -0.3, 2.5);
}

TEST(MarkerFileText, ParsingIgnoresTheLocale)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale on this machine";
    auto s = parseMarkerText("1.5 2,5 3\n");
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_EQ(s.size(), 1u);
    expectPosition(s[0], 0.15, 0.3, 0.2);
}

TEST(MarkerFileRead, ReportsFilesThatCannotBeRead)
{
    test::TempDir dir;
    std::vector<Marker> samples;
    std::string error;
    const auto missing = dir.file("missing.mov").string();
    EXPECT_FALSE(readMarkerFile(missing, samples, error));
    EXPECT_NE(error.find(missing), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos);

    EXPECT_FALSE(readMarkerFile(dir.path().string(), samples, error));
    EXPECT_NE(error.find("folder"), std::string::npos);

    auto good = dir.write("good.mov", "1 2 3\n");
    EXPECT_TRUE(readMarkerFile(good.string(), samples, error));
    EXPECT_EQ(samples.size(), 1u);
}

TEST(MarkerFileRead, DisplayNameIsTheLastPathPart)
{
    EXPECT_EQ(displayFileName("C:\\takes\\LFWT.mov"), "LFWT.mov");
    EXPECT_EQ(displayFileName("/data/takes/LFWT.mov"), "LFWT.mov");
    EXPECT_EQ(displayFileName("Centroid 5"), "Centroid 5");
}

TEST(AnimatedMarkerCursor, NextWrapsStepAndSeekHoldInside)
{
    AnimatedMarker m(0, "m");
    m.samples = parseMarkerText("1 1 1\n2 2 2\n3 3 3\n4 4 4\n");
    m.current = 3;
    m.nextSample();
    EXPECT_EQ(m.current, 0);
    m.current = 3;
    m.step(-3);
    EXPECT_EQ(m.current, 0);
    m.step(10);
    EXPECT_EQ(m.current, 3);
    m.seek(-5);
    EXPECT_EQ(m.current, 0);
    EXPECT_EQ(m.sampleAt(99)->frame, 3);

    AnimatedMarker empty;
    empty.nextSample();
    empty.seek(4);
    EXPECT_EQ(empty.currentSample(), nullptr);
    EXPECT_EQ(empty.sampleAt(0), nullptr);
}

TEST(AnimatedMarkerCopy, IsDeepWithIndexMinusOne)
{
    AnimatedMarker m(4, "LFWT.mov C:1");
    m.samples = parseMarkerText("1 2 3\n4 5 6\n");
    m.colliderId = 1;
    m.current = 1;
    m.selected = true;
    auto c = m.copy();
    EXPECT_EQ(c->index, -1);
    EXPECT_EQ(c->name, m.name);
    EXPECT_EQ(c->colliderId, 1);
    EXPECT_EQ(c->current, 0);
    EXPECT_FALSE(c->selected);
    c->samples[0].position.x = 99;
    EXPECT_NE(m.samples[0].position.x, 99);
}

} // namespace
} // namespace duolo
