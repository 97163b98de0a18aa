#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/FileCause.h"
#include "base/FileFind.h"
#include "base/LocalTime.h"
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;

// Split so that no "??-" trigraph appears.
constexpr const char16_t* kKeyPattern =
    u"???"
    u"-?-??.qff";

TEST(WildcardMatch, QuestionMarksAndStars) {
    EXPECT_TRUE(WildcardMatch(kKeyPattern, u"001-1-01.qff"));
    EXPECT_FALSE(WildcardMatch(kKeyPattern, u"001-1-1.qff"));
    EXPECT_FALSE(WildcardMatch(kKeyPattern, u"001-1-011.qff"));
    EXPECT_TRUE(WildcardMatch(u"*.qff", u".qff"));
    EXPECT_FALSE(WildcardMatch(u"*.qff", u"a.qffx"));
    EXPECT_TRUE(WildcardMatch(u"*a*b", u"xaab"));  // the first '*' must give characters back
    EXPECT_FALSE(WildcardMatch(u"*a*b", u"xaabc"));
    EXPECT_TRUE(WildcardMatch(u"*", u""));
    EXPECT_FALSE(WildcardMatch(u"?", u""));
    EXPECT_TRUE(WildcardMatch(u"*.*", u"noext"));
}

TEST(WildcardMatch, CaseInsensitiveInAsciiOnly) {
    EXPECT_TRUE(WildcardMatch(u"ORVO.EVT", u"orvo.evt"));
    EXPECT_TRUE(WildcardMatch(u"*.Qff", u"001-1-01.QFF"));
    EXPECT_FALSE(WildcardMatch(u"\u00C9.txt", u"\u00E9.txt"));
}

TEST(FindFiles, ListsMatchesWithTheirTimes) {
    CSandbox dir;
    dir.Put("002-1-01.QFF", "xyz");
    dir.Put("001-1-01.qff", "");
    dir.Put("001-1-01.hyf", "");
    const std::time_t when = *FromLocalDateTime({2024, 6, 1, 12, 30, 5});
    timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("002-1-01.QFF").c_str(), times, 0), 0);

    auto listing = FindFiles(dir.Wide(""), u"*.qff");
    EXPECT_EQ(listing.status.Cause(), 0);
    const auto& found = listing.files;
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].name, u"001-1-01.qff");
    EXPECT_EQ(found[1].name, u"002-1-01.QFF");
    EXPECT_EQ(found[1].lastWriteTime, when);
    EXPECT_EQ(found[1].size, 3u);
    // A folder that is not there is a failure with its cause, not an empty folder.
    const auto missing = FindFiles(dir.Wide("missing"), u"*");
    EXPECT_TRUE(missing.files.empty());
    EXPECT_EQ(missing.status.Cause(), file_cause::kBadPath);

    auto one = LookUpFile(dir.Wide("002-1-01.QFF"));
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->name, u"002-1-01.QFF");
    EXPECT_EQ(one->lastWriteTime, when);
    EXPECT_FALSE(LookUpFile(dir.Wide("nothing.qff")).has_value());
}

TEST(LocalTime, RoundTripsAndRejectsInvalidFields) {
    const LocalDateTime stamp{2025, 3, 14, 9, 26, 53};
    auto t = FromLocalDateTime(stamp);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(ToLocalDateTime(*t), stamp);
    EXPECT_EQ(*FromLocalDateTime({2025, 3, 14, 9, 26, 54}), *t + 1);

    EXPECT_FALSE(FromLocalDateTime({1969, 12, 31, 23, 0, 0}));
    EXPECT_FALSE(FromLocalDateTime({2025, 13, 1, 0, 0, 0}));
    EXPECT_FALSE(FromLocalDateTime({2025, 1, 32, 0, 0, 0}));
    EXPECT_FALSE(FromLocalDateTime({2025, 1, 1, 24, 0, 0}));
    EXPECT_FALSE(FromLocalDateTime({2025, 1, 1, 0, 60, 0}));
    EXPECT_FALSE(FromLocalDateTime({2025, 1, 1, 0, 0, 60}));
    // A day past the month's end rolls over, as the system's conversion does.
    EXPECT_EQ(ToLocalDateTime(*FromLocalDateTime({2025, 2, 30, 12, 0, 0})),
              (LocalDateTime{2025, 3, 2, 12, 0, 0}));
}

}  // namespace
}  // namespace kestrom
