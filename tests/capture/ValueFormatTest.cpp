#include "capture/ValueFormat.h"

#include <gtest/gtest.h>

#include <clocale>

namespace duolo {
namespace {

TEST(FormatNumber, NoDecimalsCutsTheFractionOff)
{
    EXPECT_EQ(formatNumber(12.7, 0), "12");
    EXPECT_EQ(formatNumber(-2.5, 0), "-2");
    EXPECT_EQ(formatNumber(3.0, 0), "3");
    EXPECT_EQ(formatNumber(0.0, 0), "0");
    EXPECT_EQ(formatNumber(180.0, 0), "180");
    EXPECT_EQ(formatNumber(-17.0, 0), "-17");
}

TEST(FormatNumber, MinimumDecimalsArePaddedWithZeros)
{
    EXPECT_EQ(formatNumber(1.0, 1), "1.0");
    EXPECT_EQ(formatNumber(0.3, 1), "0.3");
    EXPECT_EQ(formatNumber(0.25, 1), "0.25");   // digits beyond the minimum stay
    EXPECT_EQ(formatNumber(5.0, 1), "5.0");
    EXPECT_EQ(formatNumber(2.5, 3), "2.500");
    EXPECT_EQ(formatNumber(-4.0, 2), "-4.00");
}

TEST(FormatNumber, AtMostTenSignificantDigits)
{
    EXPECT_EQ(formatNumber(1.0 / 3.0, 1), "0.3333333333");
    EXPECT_EQ(formatNumber(123456.789, 0), "123456");
    // Repeated 0.1 steps of the radius spinner must not show binary noise.
    double radius = 0.3;
    for (int i = 0; i < 7; ++i)
        radius += 0.1;
    EXPECT_EQ(formatNumber(radius, 1), "1.0");
}

TEST(FormatNumber, ExponentNotationKeepsItsExponent)
{
    EXPECT_EQ(formatNumber(1.5e20, 0), "1.5e+20");
    EXPECT_EQ(formatNumber(1e20, 1), "1.0e+20");
    EXPECT_EQ(formatNumber(2.5e-7, 0), "0");
    EXPECT_EQ(formatNumber(-2.5e-7, 0), "-0");
    EXPECT_EQ(formatNumber(2.5e-7, 1), "2.5e-07");
}

TEST(FormatNumber, IgnoresTheLocale)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale on this machine";
    EXPECT_EQ(formatNumber(0.5, 1), "0.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

} // namespace
} // namespace duolo
