#include <gtest/gtest.h>

#include "protocol/ResultsChanged.h"
#include "protocol/ResultsFiles.h"

namespace kestrom {
namespace {

std::string Key(std::u16string_view name, int digits = kEventDigits) {
    auto k = KeyFromResultsName(name, digits);
    if (!k) return "none";
    return std::to_string(k->event) + "," + std::to_string(k->round) + "," +
           std::to_string(k->heat);
}

TEST(ResultsFileNames, BothFormsWithWiderNumbersInFull) {
    CEventInfo key(7, 1, 3, 0);
    EXPECT_EQ(ResultsFileName(key, ResultsNameForm::kDash, u".qff"), u"007-1-03.qff");
    EXPECT_EQ(ResultsFileName(key, ResultsNameForm::kCompact, u".q?f"), u"007103.q?f");
    EXPECT_EQ(ResultsFileName(key, ResultsNameForm::kDash, u".hyf", kHyWireEventDigits),
              u"0007-1-03.hyf");
    EXPECT_EQ(ResultsFileName(CEventInfo(1234, 12, 345, 0), ResultsNameForm::kCompact, u""),
              u"123412345");
}

TEST(ResultsFileNames, KeyReadBackFromNames) {
    EXPECT_EQ(Key(u"007-1-03.qff"), "7,1,3");
    EXPECT_EQ(Key(u"007103.qff"), "7,1,3");
    EXPECT_EQ(Key(u"0007-1-03.hyf", kHyWireEventDigits), "7,1,3");
    EXPECT_EQ(Key(u"0007103.hyf", kHyWireEventDigits), "7,1,3");
    EXPECT_EQ(Key(u"1234-12-345.qff"), "1234,12,345");
    EXPECT_EQ(Key(u"x07-1-03.qff"), "none");
    EXPECT_EQ(Key(u"-1-03.qff"), "none");
    EXPECT_EQ(Key(u"007103"), "none");  // no full stop
    // Beyond the 16-bit key: kept in 16 bits as a request's key is.
    EXPECT_EQ(Key(u"40000-1-01.qff"), "-25536,1,1");
    EXPECT_EQ(Key(u"99999-1-01.qff"), "-32768,1,1");
    EXPECT_EQ(Key(u"007-1--5.qff"), "none");  // a sign is no digit of a heat
}

TEST(ResultsChangedQuery, ReadsModeCountAndEntries) {
    auto q = ParseResultsChangedQuery(u"R2,7,1,3,10300012062024,8,2,1,10300012062024");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->mode, ChangedMode::kRound);
    ASSERT_EQ(q->entries.size(), 2u);
    EXPECT_EQ(q->entries[1].event, 8);
    EXPECT_EQ(q->entries[1].round, 2);
    EXPECT_EQ(q->badEntries, 0);
    EXPECT_FALSE(ParseResultsChangedQuery(u"5"));
    auto none = ParseResultsChangedQuery(u"X0,");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->mode, ChangedMode::kAll);
    EXPECT_TRUE(none->entries.empty());
    // An entry without its stamp is bad, and so is the missing rest of the count.
    auto bad = ParseResultsChangedQuery(u"I3,7,1,3");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->badEntries, 2);
}

}  // namespace
}  // namespace kestrom
