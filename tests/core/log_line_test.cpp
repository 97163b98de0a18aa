#include <gtest/gtest.h>

#include <string>

#include "core/LogLine.h"

namespace kestrom {
namespace {

TEST(LogLine, StampThenThreeBlanksThenTheMessage) {
    const LocalDateTime when{2026, 3, 7, 9, 5, 2};
    EXPECT_EQ(FormatLogLine(when, u"FieldOrvo Ping"), "03/07/2026 09:05:02   FieldOrvo Ping");
    EXPECT_EQ(FormatLogLine(LocalDateTime{1999, 12, 31, 23, 59, 59}, u""),
              "12/31/1999 23:59:59   ");
    EXPECT_EQ(FormatLogLine(when, u"Z\u00fcrich"), "03/07/2026 09:05:02   Z\xc3\xbcrich");
}

TEST(LogLine, KeepsTheFirst128CharactersAndNeverHalfAPair) {
    const LocalDateTime when{2026, 1, 1, 0, 0, 0};
    const std::string stamp = "01/01/2026 00:00:00   ";
    const std::u16string exact(128, u'x');
    EXPECT_EQ(FormatLogLine(when, exact + u"tail"), stamp + std::string(128, 'x'));
    EXPECT_EQ(FormatLogLine(when, exact), stamp + std::string(128, 'x'));

    // A pair that the cut would split is dropped whole.
    std::u16string split(127, u'y');
    split += u"\U0001F3C3";
    EXPECT_EQ(FormatLogLine(when, split), stamp + std::string(127, 'y'));
    // One that ends right at the cut is kept.
    std::u16string whole(126, u'y');
    whole += u"\U0001F3C3";
    EXPECT_EQ(FormatLogLine(when, whole + u"z"),
              stamp + std::string(126, 'y') + "\xf0\x9f\x8f\x83");
}

}  // namespace
}  // namespace kestrom
