#include <gtest/gtest.h>

#include "base/TextConvert.h"
#include "meetdata/StartListMerge.h"

namespace kestrom {
namespace {

CEventInfo Key(int e, int r, int h) {
    return CEventInfo(static_cast<std::int16_t>(e), static_cast<std::int16_t>(r),
                      static_cast<std::int16_t>(h), 0);
}

std::string Merge(std::string_view content, std::string_view startList, CEventInfo key,
                  CStartListMerge* out = nullptr) {
    CStartListMerge m = MergeStartList(FromUtf8(content), FromUtf8(startList), key);
    if (out) *out = m;
    EXPECT_TRUE(m.parsed);
    return ToUtf8(m.content);
}

constexpr std::string_view kMeet =
    "5,1,1,100m,TR\n a1\n a2\n"
    "5,1,2,100m,TR\n b1\n"
    "5,2,1,100m,TR\n c1\n"
    "7,1,1,Long Jump,LJ\n d1\n";

TEST(StartListMerge, WorkedExampleInsertsBeforeTheLaterRound) {
    EXPECT_EQ(Merge(kMeet, "5,1,3,100m,TR\n n1\n n2\n", Key(5, 1, 3)),
              "5,1,1,100m,TR\n a1\n a2\n"
              "5,1,2,100m,TR\n b1\n"
              "5,1,3,100m,TR\n n1\n n2\n"
              "5,2,1,100m,TR\n c1\n"
              "7,1,1,Long Jump,LJ\n d1\n");
}

TEST(StartListMerge, WorkedExampleExactMatchKeepsTheFilesHeader) {
    CStartListMerge m;
    EXPECT_EQ(Merge(kMeet, "5,1,2,Other title,XX\n n1\n", Key(5, 1, 2), &m),
              "5,1,1,100m,TR\n a1\n a2\n"
              "5,1,2,100m,TR\n n1\n"
              "5,2,1,100m,TR\n c1\n"
              "7,1,1,Long Jump,LJ\n d1\n");
    EXPECT_TRUE(m.exactMatch);
}

TEST(StartListMerge, WorkedExampleUnknownEventIsAppended) {
    EXPECT_EQ(Merge(kMeet, "6,1,1,200m,TR\n n1\n", Key(6, 1, 1)),
              std::string(kMeet) + "6,1,1,200m,TR\n n1\n");
}

TEST(StartListMerge, InsertionFollowsTheEventsOtherRoundsAndHeats) {
    // Only a later round of the event is known: the start list goes before it.
    EXPECT_EQ(Merge("5,2,1\n x\n7,1,1\n", "5,1,1\n n\n", Key(5, 1, 1)),
              "5,1,1\n n\n5,2,1\n x\n7,1,1\n");
    // The insertion point is the last heat of the same round met, and the walk from there
    // stops at the first heat above the new one.
    EXPECT_EQ(Merge("5,1,2\n x\n5,1,4\n y\n5,1,6\n z\n", "5,1,5\n n\n", Key(5, 1, 5)),
              "5,1,2\n x\n5,1,4\n y\n5,1,5\n n\n5,1,6\n z\n");
}

TEST(StartListMerge, EmptyEventFileReceivesTheWholeStartList) {
    EXPECT_EQ(Merge("", "5,1,1,100m\n a\n", Key(5, 1, 1)), "5,1,1,100m\n a\n");
}

TEST(StartListMerge, StartListWithoutFinalLineEndGetsOne) {
    // A comma after the heat, as the key reader needs on a whole start list.
    EXPECT_EQ(Merge("5,2,1\n x\n", "5,1,1,x\n last", Key(5, 1, 1)), "5,1,1,x\n last\n5,2,1\n x\n");
    EXPECT_EQ(Merge("5,1,1\n old\n6,1,1\n", "5,1,1,x\n last", Key(5, 1, 1)),
              "5,1,1\n last\n6,1,1\n");
}

TEST(StartListMerge, ExactMatchReplacesCommentsAndEmptyLinesUpToNextDigitLine) {
    EXPECT_EQ(Merge("5,1,1\n a\n;note\n\n b\n5,1,2\n c\n", "5,1,1\n n\n", Key(5, 1, 1)),
              "5,1,1\n n\n5,1,2\n c\n");
}

TEST(StartListMerge, HeaderFollowedDirectlyByHeaderGetsLinesAndLosesNothing) {
    EXPECT_EQ(Merge("5,1,1\n5,1,2\n b\n", "5,1,1\n n\n", Key(5, 1, 1)), "5,1,1\n n\n5,1,2\n b\n");
}

TEST(StartListMerge, SecondIdenticalHeaderIsLeftAlone) {
    EXPECT_EQ(Merge("5,1,1\n a\n5,1,1\n b\n", "5,1,1\n n\n", Key(5, 1, 1)),
              "5,1,1\n n\n5,1,1\n b\n");
}

TEST(StartListMerge, ExactMatchOnLastLineAppendsCompetitors) {
    EXPECT_EQ(Merge("4,1,1\n x\n5,1,1\n", "5,1,1,new\n n\n", Key(5, 1, 1)),
              "4,1,1\n x\n5,1,1\n n\n");
}

TEST(StartListMerge, ExactMatchWithHeaderOnlyStartListKeepsItWhole) {
    // No LF in the start list: the whole text is the inserted text.
    EXPECT_EQ(Merge("5,1,1\n a\n6,1,1\n", "5,1,1", Key(5, 1, 1)), "5,1,1\n5,1,1\n6,1,1\n");
}

TEST(StartListMerge, BadHeaderIsPassedOverUnlessItIsTheLastRead) {
    CStartListMerge m;
    EXPECT_EQ(Merge("5x,1,1\n a\n5,1,1\n b\n", "5,1,1\n n\n", Key(5, 1, 1), &m),
              "5x,1,1\n a\n5,1,1\n n\n");
    EXPECT_EQ(m.badHeaderReads, 1);

    m = MergeStartList(u"5,1,1\n b\n9,x\n", u"5,1,1\n n\n", Key(5, 1, 1));
    EXPECT_FALSE(m.parsed);
    EXPECT_EQ(m.badHeaderReads, 1);
}

TEST(StartListMerge, BadHeaderMetByScanAndWalkCountsTwice) {
    // The scan passes the bad line; the walk from 5,1,1 ends on it, and the update fails.
    const CStartListMerge m =
        MergeStartList(u"5,1,1\n a\n5,x\n6,1,1\n", u"5,1,2\n n\n", Key(5, 1, 2));
    EXPECT_FALSE(m.parsed);
    EXPECT_EQ(m.badHeaderReads, 2);
}

TEST(StartListMerge, CompetitorAndCommentLinesAreNeverHeaders) {
    EXPECT_EQ(Merge(";5,1,1\n,5,1,1\n\t5,1,1\n", "5,1,1\n n\n", Key(5, 1, 1)),
              ";5,1,1\n,5,1,1\n\t5,1,1\n5,1,1\n n\n");
}

TEST(StartListMerge, ContentWithoutFinalLineEndIsNotJoined) {
    EXPECT_EQ(Merge("4,1,1\n x", "5,1,1\n n\n", Key(5, 1, 1)), "4,1,1\n x\n5,1,1\n n\n");
}

}  // namespace
}  // namespace kestrom
