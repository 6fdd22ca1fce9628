#include "capture/TextEncoding.h"

#include <gtest/gtest.h>

namespace duolo {
namespace {

TEST(TextEncoding, ValidUtf8IsShownAsItIsAndAnythingElseAsWindows1252)
{
    EXPECT_EQ(displayText("markers/LFWT.mov C:0"), "markers/LFWT.mov C:0");
    EXPECT_EQ(displayText("Gr\xC3\xBC\xC3\x9F" "e/\xE2\x82\xAC.mov"), "Gr\xC3\xBC\xC3\x9F" "e/\xE2\x82\xAC.mov");
    // Windows-1252: "Müller.mov", the euro sign and curly quotes, the five unassigned bytes as
    // the C1 controls of the same value.
    EXPECT_EQ(displayText("M\xFCller.mov"), "M\xC3\xBCller.mov");
    EXPECT_EQ(displayText("\x80\x93\x94"), "\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D");
    EXPECT_EQ(displayText("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(displayText(std::string("a\0b", 3)), std::string("a\0b", 3));

    // Malformed UTF-8 of every kind falls back to Windows-1252 for the whole name.
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xE2\x82",
                            "\xF5\x80\x80\x80", "\xBF", "a\xC3(b"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
        EXPECT_TRUE(isValidUtf8(displayText(bad))) << bad;
    }
    for (const char* good : {"", "\xF0\x9F\x99\x82", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "\xC2\x80"})
        EXPECT_TRUE(isValidUtf8(good)) << good;
}

} // namespace
} // namespace duolo
