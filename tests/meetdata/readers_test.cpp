#include "meetdata/Readers.h"

#include <gtest/gtest.h>

#include "base/LocalTime.h"

namespace kestrom {
namespace {

std::u16string Field(std::u16string_view line, int index) {
    auto f = ReadField(line, index);
    return f ? std::u16string(*f) : u"<none>";
}

TEST(FieldReader, SplitsAtCommasAndReportsMissingOrEmptyFields) {
    EXPECT_EQ(Field(u"12,1,3", 0), u"12");
    EXPECT_EQ(Field(u"12,1,3", 1), u"1");
    EXPECT_EQ(Field(u"12,1,3", 2), u"3");
    EXPECT_EQ(Field(u"12,1,3", 5), u"<none>");
    EXPECT_EQ(Field(u"a,,c", 1), u"<none>");
    EXPECT_EQ(Field(u"a,,c", 2), u"c");
    EXPECT_EQ(Field(u"a,", 1), u"<none>");
    EXPECT_EQ(Field(u"", 0), u"<none>");
    // Nothing is trimmed from an unquoted field.
    EXPECT_EQ(Field(u"a, b ,c", 1), u" b ");
}

TEST(FieldReader, QuotedFieldsKeepSeparatorsAndLoseTheirQuotes) {
    EXPECT_EQ(Field(u"a, \"b,c\" ,d", 1), u"b,c");
    EXPECT_EQ(Field(u"a, \"b,c\" ,d", 2), u"d");
    EXPECT_EQ(Field(u"\"12\",1,3", 0), u"12");
    // A quote that is not followed (after white space) by a separator or the line end does
    // not close the field; inner quotes stay as they are.
    EXPECT_EQ(Field(u"\"say \"hi\" now\",x", 0), u"say \"hi\" now");
    EXPECT_EQ(Field(u"\"say \"hi\" now\",x", 1), u"x");
    // A quote after other characters does not start a quoted field.
    EXPECT_EQ(Field(u"x\"a,b\"", 0), u"x\"a");
    // An unclosed quote: the field is read unquoted.
    EXPECT_EQ(Field(u"\"a,b", 0), u"\"a");
    EXPECT_EQ(Field(u"\"a,b", 1), u"b");
    // The last field quoted up to the line end.
    EXPECT_EQ(Field(u"a,\"b,c\"  ", 1), u"b,c");
    // Empty quotes are an empty field.
    EXPECT_EQ(Field(u"\"\",x", 0), u"<none>");
    // Quote 0 turns quoting off.
    auto f = ReadField(u"\"a,b\"", 0, u',', 0);
    ASSERT_TRUE(f);
    EXPECT_EQ(*f, u"\"a");
}

TEST(EventKeyReader, ReadsKeyAndDirectionMark) {
    CEventInfo key;
    char16_t mark = u'?';
    ASSERT_TRUE(ReadEventKey(u"12,1,3", key, &mark));
    EXPECT_EQ(key.event, 12);
    EXPECT_EQ(key.round, 1);
    EXPECT_EQ(key.heat, 3);
    EXPECT_EQ(mark, kNoDirection);
    ASSERT_TRUE(ReadEventKey(u"12,1,3,+", key, &mark));
    EXPECT_EQ(mark, u'+');
    ASSERT_TRUE(ReadEventKey(u"12,1,3,-,more", key, &mark));
    EXPECT_EQ(mark, u'-');
    ASSERT_TRUE(ReadEventKey(u"12,1,3,++", key, &mark));
    EXPECT_EQ(mark, kNoDirection);
    ASSERT_TRUE(ReadEventKey(u"\"12\",1,3", key));
    EXPECT_EQ(key.event, 12);
    // Only the part before the fourth comma matters, across line ends.
    ASSERT_TRUE(ReadEventKey(u"7,1,03,Long Jump\r\n a,b,c", key));
    EXPECT_EQ(key.heat, 3);
    ASSERT_TRUE(ReadEventKey(u"0,0,0", key));
    EXPECT_EQ(key.event, 0);
}

TEST(EventKeyReader, FailsOnMissingOrNonDigitMembers) {
    CEventInfo key;
    EXPECT_FALSE(ReadEventKey(u"12,1", key));
    EXPECT_EQ(key.heat, -1);
    EXPECT_FALSE(ReadEventKey(u"12,a,3", key));
    EXPECT_FALSE(ReadEventKey(u"12, 1,3", key));
    EXPECT_FALSE(ReadEventKey(u"12,,3", key));
    EXPECT_FALSE(ReadEventKey(u",1,3", key));
    EXPECT_FALSE(ReadEventKey(u"12,-1,3", key));
    EXPECT_FALSE(ReadEventKey(u"12,1,3\r\n", key));  // a line end inside the heat
    EXPECT_FALSE(ReadEventKey(u"", key));
}

// An all-digit number wider than the key is read like any other and kept in 16 bits, never
// as "not set" and never as a number that digits within the range give.
TEST(EventKeyReader, KeepsWideNumbersInSixteenBits) {
    CEventInfo key;
    ASSERT_TRUE(ReadEventKey(u"32767,1,1", key));
    EXPECT_EQ(key.event, 32767);
    ASSERT_TRUE(ReadEventKey(u"40000,1,1,+", key));
    EXPECT_EQ(key.event, -25536);
    ASSERT_TRUE(ReadEventKey(u"32768,65534,1", key));
    EXPECT_EQ(key.event, -32768);
    EXPECT_EQ(key.round, -2);
    // 65535 would be -1 ("not set") and 65543 would be heat 7: both go to -32768.
    ASSERT_TRUE(ReadEventKey(u"1,65535,65543", key));
    EXPECT_EQ(key.round, -32768);
    EXPECT_EQ(key.heat, -32768);
    ASSERT_TRUE(ReadEventKey(u"1,1,99999999999999999999", key));
    EXPECT_EQ(key.heat, -32768);
    EXPECT_EQ(KeyMemberFromNumber(0), 0);
    EXPECT_EQ(KeyMemberFromNumber(UINT64_MAX), -32768);
}

TEST(FieldEventTest, MatchesTypeCodesOfFieldFourExactly) {
    EXPECT_TRUE(IsFieldEvent(u"12,1,3,Long Jump,LJ Men"));
    EXPECT_TRUE(IsFieldEvent(u"12,1,3,x,JT"));
    EXPECT_TRUE(IsFieldEvent(u"12,1,3,x,PV,more"));
    EXPECT_FALSE(IsFieldEvent(u"12,1,3,100m,TR"));
    EXPECT_FALSE(IsFieldEvent(u"12,1,3,x,lj"));
    EXPECT_FALSE(IsFieldEvent(u"12,1,3,Long Jump"));
    EXPECT_FALSE(IsFieldEvent(u"12,1,3,x,L"));
    EXPECT_FALSE(IsFieldEvent(u"12,1,3,x, LJ"));
    EXPECT_FALSE(IsFieldEvent(u"12,1,3,x,"));
}

LocalDateTime Local(TimeValue t) {
    return ToLocalDateTime(t).value();
}

TEST(DateStampReader, ReadsLocalTimeAndIgnoresTrailingCharacters) {
    auto t = ReadDateStamp(u"14300507122023");
    ASSERT_TRUE(t);
    EXPECT_EQ(Local(*t), (LocalDateTime{2023, 12, 7, 14, 30, 5}));
    auto t2 = ReadDateStamp(u"14300507122023,rest of payload");
    ASSERT_TRUE(t2);
    EXPECT_EQ(*t2, *t);
    EXPECT_EQ(FormatDateStamp(*t), u"14300507122023");
}

TEST(DateStampReader, CorrectsDayMonthAndYear) {
    auto t = ReadDateStamp(u"12000000001800");
    ASSERT_TRUE(t);
    EXPECT_EQ(Local(*t), (LocalDateTime{1970, 1, 1, 12, 0, 0}));
    auto t2 = ReadDateStamp(u"08000032132024");
    ASSERT_TRUE(t2);
    EXPECT_EQ(Local(*t2), (LocalDateTime{2024, 1, 1, 8, 0, 0}));
}

TEST(DateStampReader, RejectsValuesThatFormNoTime) {
    EXPECT_FALSE(ReadDateStamp(u"25000001011999"));  // hour 25
    EXPECT_FALSE(ReadDateStamp(u"12600001012000"));  // minute 60
    EXPECT_FALSE(ReadDateStamp(u"12006001012000"));  // second 60
    EXPECT_FALSE(ReadDateStamp(u"12000001011969"));  // year 1969
    EXPECT_FALSE(ReadDateStamp(u"-1000001012000"));  // negative hour
}

TEST(DateStampFormatter, WritesFourteenDigitsThatReadBack) {
    auto t = ReadDateStamp(u"01020304052006");
    ASSERT_TRUE(t);
    EXPECT_EQ(FormatDateStamp(*t), u"01020304052006");
    EXPECT_EQ(ReadDateStamp(FormatDateStamp(*t + 86400)), *t + 86400);
}

TEST(EventInfo, StartsUnsetWithTheSecondDayOfTheEpoch) {
    CEventInfo info;
    EXPECT_EQ(info.event, -1);
    EXPECT_EQ(info.heat, -1);
    EXPECT_EQ(Local(info.time), (LocalDateTime{1970, 1, 2, 0, 1, 0}));
    CEventInfo other(7, 1, 3, 100);
    CEventInfo copy = other;
    EXPECT_TRUE(copy.SameKey(other));
    EXPECT_EQ(copy.time, 100);
    EXPECT_FALSE(copy.SameKey(info));
}

}  // namespace
}  // namespace kestrom
