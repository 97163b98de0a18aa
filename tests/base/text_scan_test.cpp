#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/TextScan.h"

namespace kestrom {
namespace {

// Lengths around the block sizes and offsets off any alignment, so both the block loop and
// the tail are taken, against the plain one-at-a-time meaning.
TEST(TextScan, WidenAndNarrowMatchTheirPlainMeaning) {
    std::mt19937 random(7);
    for (std::size_t n : {0u, 1u, 7u, 8u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 4099u}) {
        for (std::size_t offset : {0u, 1u, 3u}) {
            std::vector<unsigned char> bytes(n + offset);
            for (auto& b : bytes) b = static_cast<unsigned char>(random());
            std::u16string wide(n, u'\xFFFF');
            WidenBytes(bytes.data() + offset, n, wide.data());
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(wide[i], bytes[offset + i]) << n << "/" << offset << " at " << i;

            // Units above 255, also ones that a saturating pack would clamp, keep their low byte.
            std::u16string units(n + offset, u'\0');
            for (auto& u : units) u = static_cast<char16_t>(random());
            std::vector<unsigned char> narrow(n + 1, 0xAA);
            NarrowUnits(units.data() + offset, n, narrow.data());
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(narrow[i], units[offset + i] & 0xFF) << n << "/" << offset << " at " << i;
            EXPECT_EQ(narrow[n], 0xAA) << "wrote past the end";
        }
    }
}

TEST(TextScan, FindUnitFindsTheFirstFromAnyStart) {
    std::u16string text(70, u'a');
    EXPECT_EQ(FindUnit(text, u'\n'), std::u16string_view::npos);
    EXPECT_EQ(FindUnit(u"", u'\n'), std::u16string_view::npos);
    text[5] = u'\n';
    text[9] = u'\n';
    text[69] = u'\n';
    EXPECT_EQ(FindUnit(text, u'\n'), 5u);
    EXPECT_EQ(FindUnit(text, u'\n', 5), 5u);
    EXPECT_EQ(FindUnit(text, u'\n', 6), 9u);
    EXPECT_EQ(FindUnit(text, u'\n', 10), 69u);
    EXPECT_EQ(FindUnit(text, u'\n', 70), std::u16string_view::npos);
    // Only whole units count: the byte 0x0A inside U+0A0B or U+0B0A is no line end.
    EXPECT_EQ(FindUnit(u"\u0A0B\u0B0A\u0A0Bxxxxxxxxxxx\n", u'\n'), 14u);
    EXPECT_EQ(FindUnit(u"\u0A0B\u0B0A\u0A0Bxxxxxxxxxxx\n", u'\u0B0A'), 1u);
}

}  // namespace
}  // namespace kestrom
