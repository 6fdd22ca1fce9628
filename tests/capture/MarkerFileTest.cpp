#include "capture/AnimatedMarker.h"
#include "capture/MarkerFile.h"
#include "capture/NumberText.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include <sys/stat.h>

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

TEST(MarkerFileText, OverflowAndUnderflowFollowTheValueNotTheExponentSign)
{
    // 1e-331 is below the smallest double and 1e399 above the largest, whatever the exponent's
    // sign says.
    const auto tiny = "0." + std::string(330, '0') + "1";
    const auto huge = "1" + std::string(400, '0') + "e-1";
    auto s = parseMarkerText(tiny + " 1 " + huge + "\n");
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].position.x, 0.0);
    EXPECT_EQ(s[0].position.y, HUGE_VAL);

    EXPECT_EQ(parseNumberPrefix("-1e400"), -HUGE_VAL);
    EXPECT_EQ(parseNumberPrefix("1e-400"), 0.0);
    EXPECT_EQ(parseNumberPrefix("-0.000001e-320"), 0.0);
    EXPECT_EQ(parseNumberPrefix("00012e99999999999999999999"), HUGE_VAL);
    EXPECT_EQ(parseNumberPrefix("0.0001e-99999999999999999999"), 0.0);
    // In range, long decimals are correctly rounded and a tiny value stays a subnormal.
    EXPECT_EQ(parseNumberPrefix("0." + std::string(300, '0') + "1e300"), 1e-1);
    EXPECT_EQ(parseNumberPrefix("4.9406564584124654e-324"), 4.9406564584124654e-324);
    EXPECT_EQ(parseNumberPrefix("1." + std::string(500, '0') + "1"), 1.0);
    EXPECT_EQ(parseNumberPrefix(".5x"), 0.5);
    EXPECT_EQ(parseNumberPrefix("+2.5E+1e"), 25.0);
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

    // Only regular files are read: a device never ends and a FIFO without a writer never
    // answers; both are refused at once.
    EXPECT_FALSE(readMarkerFile("/dev/zero", samples, error));
    EXPECT_NE(error.find("/dev/zero: cannot read marker file: it is not a regular file"), std::string::npos) << error;
    const auto fifo = dir.file("fifo.mov").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readMarkerFile(fifo, samples, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(samples.empty());

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
