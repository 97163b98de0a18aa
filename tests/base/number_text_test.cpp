#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "base/NumberText.h"
#include "base/TextConvert.h"

namespace kestrom {
namespace {

TEST(ReadDecimal, ReadsLikeTheCLibrary) {
    EXPECT_EQ(ReadDecimal(u""), 0);
    EXPECT_EQ(ReadDecimal(u"abc"), 0);
    EXPECT_EQ(ReadDecimal(u"12x"), 12);
    EXPECT_EQ(ReadDecimal(u"8080abc"), 8080);
    EXPECT_EQ(ReadDecimal(u" \t\r\n\v\f-42"), -42);
    EXPECT_EQ(ReadDecimal(u"+7"), 7);
    EXPECT_EQ(ReadDecimal(u"- 5"), 0);  // the sign must touch the digits
    EXPECT_EQ(ReadDecimal(u"--5"), 0);
    EXPECT_EQ(ReadDecimal(u"007"), 7);
    EXPECT_EQ(ReadDecimal(u"\u00A012"), 0);  // only the C blanks are skipped
}

TEST(ReadDecimal, ClampsToThe32BitRange) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(ReadDecimal(u"2147483647"), kMax);
    EXPECT_EQ(ReadDecimal(u"2147483648"), kMax);
    EXPECT_EQ(ReadDecimal(u"-2147483648"), kMin);
    EXPECT_EQ(ReadDecimal(u"-2147483649"), kMin);
    EXPECT_EQ(ReadDecimal(u"99999999999999999999999999999999"), kMax);
    EXPECT_EQ(ReadDecimal(u"-99999999999999999999999999999999"), kMin);
}

TEST(ReadDecimal, ReportsTheCharactersUsed) {
    size_t used = 99;
    EXPECT_EQ(ReadDecimal(u"  -12,5", &used), -12);
    EXPECT_EQ(used, 5u);
    EXPECT_EQ(ReadDecimal(u"  x", &used), 0);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(ReadDecimal(u"-", &used), 0);
    EXPECT_EQ(used, 0u);
    ReadDecimal(u"123456789012345", &used);
    EXPECT_EQ(used, 15u);
}

TEST(AppendZeroPadded, WritesWhatPrintfWrites) {
    const int values[] = {0,
                          1,
                          -1,
                          7,
                          42,
                          -42,
                          999,
                          1000,
                          32767,
                          -32768,
                          65535,
                          12345,
                          std::numeric_limits<int>::max(),
                          std::numeric_limits<int>::min()};
    for (int value : values) {
        for (int width = 0; width <= 12; ++width) {
            char expected[32];
            std::snprintf(expected, sizeof expected, "%0*d", width, value);
            std::string narrow = "x";
            AppendZeroPadded(narrow, value, width);
            EXPECT_EQ(narrow, std::string("x") + expected) << value << " width " << width;
            std::u16string wide;
            AppendZeroPadded(wide, value, width);
            EXPECT_EQ(wide, U16(expected)) << value << " width " << width;
        }
    }
}

TEST(Utf8, EncodesEveryRangeAndReplacesLoneSurrogates) {
    EXPECT_EQ(ToUtf8(u""), "");
    EXPECT_EQ(ToUtf8(u"A\u00e9\u20ac"), "A\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
    // A high surrogate at the end and a low one alone each become U+FFFD.
    EXPECT_EQ(ToUtf8(std::u16string(u"a") + char16_t(0xD83D)), "a\xef\xbf\xbd");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xDE00)) + u"b"),
              "\xef\xbf\xbd"
              "b");
    // The widest case, three bytes for every unit, fills the room made for it exactly.
    EXPECT_EQ(ToUtf8(std::u16string(100, u'\u20ac')).size(), 300u);
    std::string out = "log: ";
    AppendUtf8(out, u"\u00e9t\u00e9");
    EXPECT_EQ(out, "log: \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(FromUtf8(ToUtf8(u"Z\u00fcrich \U0001F3C3")), u"Z\u00fcrich \U0001F3C3");
}

}  // namespace
}  // namespace kestrom
