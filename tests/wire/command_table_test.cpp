#include <gtest/gtest.h>

#include <set>

#include "core/Messages.h"
#include "wire/CommandTable.h"
#include "wire/RequestGrammar.h"

namespace kestrom {
namespace {

TEST(CommandTable, OnlyTheFirstThreeCharactersCountAndCaseMatters) {
    EXPECT_EQ(LookupCommandCode(u"HFLX"), RequestKind::kFieldOrvoPing);
    EXPECT_EQ(LookupCommandCode(u"HFL"), RequestKind::kFieldOrvoPing);
    EXPECT_EQ(LookupCommandCode(u"hfl"), RequestKind::kUnknown);
    EXPECT_EQ(LookupCommandCode(u"HF"), RequestKind::kUnknown);
    EXPECT_EQ(LookupCommandCode(u""), RequestKind::kUnknown);
    EXPECT_EQ(LookupCommandCode(u"ROK"), RequestKind::kReplyOk);
    EXPECT_EQ(LookupCommandCode(u"NOK"), RequestKind::kReplyNotOk);
}

TEST(CommandTable, EveryKindButNineAppearsOnce) {
    std::set<int> kinds;
    for (const auto& entry : CommandTable()) {
        EXPECT_EQ(entry.code.size(), 3u);
        EXPECT_EQ(LookupCommandCode(entry.code), entry.kind);
        kinds.insert(static_cast<int>(entry.kind));
    }
    EXPECT_EQ(kinds.size(), 22u);
    EXPECT_FALSE(kinds.count(9));
    EXPECT_EQ(*kinds.begin(), 1);
    EXPECT_EQ(*kinds.rbegin(), 23);
}

TEST(CommandTable, CommandCodeRunsFromFirstSohToNextStxOrEnd) {
    EXPECT_EQ(CommandCodeOf(u"xx\x01RFQ\x02"
                            u"1\x03\x04"),
              u"RFQ");
    EXPECT_EQ(CommandCodeOf(u"\x01SL"), u"SL");
    EXPECT_EQ(CommandCodeOf(u"abc\x01"), u"");
    EXPECT_EQ(CommandCodeOf(u"HFL\x02\x03\x04"), u"");
    EXPECT_EQ(LookupCommand(u"\x01SLSextra\x02\x03\x04"), RequestKind::kStartListUpload);
    EXPECT_EQ(LookupCommand(u"\x01\x02HFL\x03\x04"), RequestKind::kUnknown);
}

TEST(RequestGrammar, PayloadLiesBetweenFirstStxAndFirstEtx) {
    EXPECT_EQ(FindPayload(u"\x01RFQ\x02"
                          u"1,2,3\x03\x04"),
              u"1,2,3");
    EXPECT_EQ(FindPayload(u"\x01RFQ\x02\x03\x04"), u"");
    EXPECT_EQ(FindPayload(u"\x01X\x02"
                          u"a\x02"
                          u"b\x03"
                          u"c\x03\x04"),
              u"a\x02"
              u"b");
    const auto bounds = FindPayloadBounds(
        u"\x01RFQ\x02"
        u"12\x03\x04");
    ASSERT_TRUE(bounds);
    EXPECT_EQ(bounds->stx, 4u);
    EXPECT_EQ(bounds->etx, 7u);
}

TEST(RequestGrammar, MissingOrMisorderedMarksMakeTheRequestIncomplete) {
    EXPECT_FALSE(
        FindPayload(u"\x01RFQ\x02"
                    u"1,1,1\x04"));  // no ETX
    EXPECT_FALSE(
        FindPayload(u"\x01RFQ"
                    u"1,1,1\x03\x04"));  // no STX
    EXPECT_FALSE(
        FindPayload(u"\x01RFQ\x03"
                    u"1\x02\x04"));  // ETX first
}

TEST(RequestGrammar, ScramblingWrapsInSixteenBits) {
    EXPECT_EQ(Scramble(u"K"), std::u16string(1, char16_t(u'K' + 71)));
    EXPECT_EQ(Scramble(u"\xFFFF"), std::u16string(1, char16_t(70)));
    EXPECT_EQ(Unscramble(u"\x0010"), std::u16string(1, char16_t(0xFFC9)));
    const std::u16string text = u"1,2,3\x00E9\x20AC";
    EXPECT_EQ(Unscramble(Scramble(text)), text);
}

TEST(Messages, NumbersLookUpTheirFixedTexts) {
    EXPECT_EQ(MessageText(61211), u"INCOMPLETE COMMAND RECEIVING RESULTS CHANGED REQUEST");
    EXPECT_EQ(MessageText(61228), u"ERROR OPENING FINISHORVO IMAGE FILE");
    EXPECT_EQ(MessageText(62006), u"Receiving Start List");
    EXPECT_EQ(MessageText(61219), u"");
    std::set<int> numbers;
    for (const auto& m : kMessageTable) numbers.insert(m.number);
    EXPECT_EQ(numbers.size(), std::size(kMessageTable));
}

}  // namespace
}  // namespace kestrom
