#include <gtest/gtest.h>

#include <limits>

#include "fileio/NumberText.h"

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

}  // namespace
}  // namespace kestrom
