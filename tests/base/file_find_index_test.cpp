#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "base/FileCause.h"
#include "base/FileFindIndex.h"
#include "support/sandbox.h"

namespace kestrom::testing {
namespace {

std::u16string NameOf(const FileLookup& lookup) {
    return lookup.file ? lookup.file->name : u"(none)";
}

// Runs `change` in a child process, as the timing software changes the folder, and waits.
void InAnotherProcess(const std::function<void()>& change) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        change();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
}

TEST(MeetFolders, ExactNameFirstElseTheEntryMatchingIgnoringCase) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = FromUtf8(dir.Dir());
    dir.Put("ORVO.EVT", "upper");
    FileLookup found = folders.Find(folder, u"orvo.evt");
    EXPECT_EQ(NameOf(found), u"ORVO.EVT");
    EXPECT_EQ(found.path, dir.Wide("ORVO.EVT"));
    EXPECT_TRUE(found.sameNameIgnoringCase.empty());

    dir.Put("orvo.evt", "lower");
    EXPECT_EQ(NameOf(folders.Find(folder, u"orvo.evt")), u"orvo.evt");  // the exact name wins
    EXPECT_EQ(NameOf(folders.Find(folder, u"Orvo.Evt")), u"ORVO.EVT");

    const FileLookup missing = folders.Find(folder, u"hywire.evt");
    EXPECT_FALSE(missing.file);
    EXPECT_EQ(missing.status.Cause(), 0);
    EXPECT_EQ(missing.path, dir.Wide("hywire.evt"));  // where a new file would be written

    // A folder of that name is no file; the file beside it in another case is.
    std::filesystem::create_directory(dir.File("007-1-03.qff"));
    dir.Put("007-1-03.QFF", "x");
    EXPECT_EQ(NameOf(folders.Find(folder, u"007-1-03.qff")), u"007-1-03.QFF");
}

TEST(MeetFolders, SeveralCaseVariantsGiveTheSameChoiceAndAreReportedOnce) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = FromUtf8(dir.Dir());
    for (const char* name : {"007-1-03.qFF", "007-1-03.Qff", "007-1-03.QFF"}) dir.Put(name, "x");
    const FileLookup first = folders.Find(folder, u"007-1-03.qff");
    EXPECT_EQ(NameOf(first), u"007-1-03.QFF");  // code-unit order: upper case first
    ASSERT_EQ(first.sameNameIgnoringCase.size(), 3u);
    EXPECT_EQ(first.sameNameIgnoringCase.front(), u"007-1-03.QFF");
    const FileLookup again = folders.Find(folder, u"007-1-03.qff");
    EXPECT_EQ(NameOf(again), u"007-1-03.QFF");
    EXPECT_TRUE(again.sameNameIgnoringCase.empty());
    // A fresh index (another run) chooses the same file.
    CMeetFolders other;
    EXPECT_EQ(NameOf(other.Find(folder, u"007-1-03.qff")), u"007-1-03.QFF");
}

TEST(MeetFolders, WildcardNamesMatchIgnoringCase) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = FromUtf8(dir.Dir());
    dir.Put("007-1-03.QRF", "r");
    dir.Put("007-1-04.qff", "f");
    dir.Put("007-1-030.qff", "longer");
    EXPECT_EQ(NameOf(folders.Find(folder, u"007-1-03.q?f")), u"007-1-03.QRF");
    EXPECT_EQ(NameOf(folders.Find(folder, u"007-1-04.Q?F")), u"007-1-04.qff");
    EXPECT_FALSE(folders.Find(folder, u"007-1-05.q?f").file);
}

TEST(MeetFolders, ChangesMadeByAnotherProcessAreSeenByTheVeryNextLookup) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = FromUtf8(dir.Dir());
    dir.Put("filler.txt", "");
    EXPECT_FALSE(folders.Find(folder, u"007-1-03.qff").file);  // the index is built here
    ASSERT_EQ(folders.SizeOf(folder).names, 1u);

    for (int round = 0; round < 50; ++round) {
        const std::string upper = dir.File("007-1-03.QFF");
        const std::string mixed = dir.File("007-1-03.Qff");
        InAnotherProcess([&] { ::close(::open(upper.c_str(), O_CREAT | O_WRONLY, 0644)); });
        ASSERT_EQ(NameOf(folders.Find(folder, u"007-1-03.qff")), u"007-1-03.QFF") << round;
        InAnotherProcess([&] { std::rename(upper.c_str(), mixed.c_str()); });
        ASSERT_EQ(NameOf(folders.Find(folder, u"007-1-03.qff")), u"007-1-03.Qff") << round;
        InAnotherProcess([&] { ::unlink(mixed.c_str()); });
        ASSERT_FALSE(folders.Find(folder, u"007-1-03.qff").file) << round;
    }
    EXPECT_EQ(folders.SizeOf(folder).names, 1u);
}

TEST(MeetFolders, FolderReplacedUnderItsPathIsReadAfresh) {
    CSandbox dir;
    CMeetFolders folders;
    std::filesystem::create_directories(dir.File("meet/results"));
    dir.Put("meet/results/A.QFF", "a");
    const std::u16string folder = dir.Wide("meet/results");
    EXPECT_EQ(NameOf(folders.Find(folder, u"a.qff")), u"A.QFF");

    // The folder itself renamed away and another made in its place.
    std::filesystem::rename(dir.File("meet/results"), dir.File("meet/old"));
    std::filesystem::create_directory(dir.File("meet/results"));
    dir.Put("meet/results/B.QFF", "b");
    EXPECT_FALSE(folders.Find(folder, u"a.qff").file);
    EXPECT_EQ(NameOf(folders.Find(folder, u"b.qff")), u"B.QFF");

    // Its parent renamed: the watch follows the old folder, the path names a new one.
    std::filesystem::rename(dir.File("meet"), dir.File("meet2"));
    std::filesystem::create_directories(dir.File("meet/results"));
    dir.Put("meet/results/C.QFF", "c");
    EXPECT_FALSE(folders.Find(folder, u"b.qff").file);
    EXPECT_EQ(NameOf(folders.Find(folder, u"c.qff")), u"C.QFF");
}

TEST(MeetFolders, AFolderThatCannotBeReadIsAFailureNotAnEmptyFolder) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = dir.Wide("later");
    const FileLookup missing = folders.Find(folder, u"orvo.evt");
    EXPECT_FALSE(missing.file);
    EXPECT_EQ(missing.status.Cause(), file_cause::kBadPath);
    EXPECT_EQ(folders.ListByPrefix(folder, u"007", u"007*.qff").status.Cause(),
              file_cause::kBadPath);
    dir.Put("plain", "");
    EXPECT_EQ(folders.Find(dir.Wide("plain"), u"x").status.Cause(), file_cause::kBadPath);

    // Once it is there it is read.
    std::filesystem::create_directory(dir.File("later"));
    dir.Put("later/ORVO.EVT", "");
    const FileLookup found = folders.Find(folder, u"orvo.evt");
    EXPECT_EQ(found.status.Cause(), 0);
    EXPECT_EQ(NameOf(found), u"ORVO.EVT");
}

TEST(MeetFolders, ListByPrefixGivesOnlyMatchingNamesInNameOrder) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = FromUtf8(dir.Dir());
    for (const char* name : {"007101.qff", "007-1-02.QFF", "008-1-01.qff", "0071.txt", "06.qff"})
        dir.Put(name, "");
    std::filesystem::create_directory(dir.File("007-1-09.qff"));
    const FolderListing listing = folders.ListByPrefix(folder, u"007", u"007*.qff");
    EXPECT_EQ(listing.status.Cause(), 0);
    ASSERT_EQ(listing.files.size(), 2u);
    EXPECT_EQ(listing.files[0].name, u"007-1-02.QFF");
    EXPECT_EQ(listing.files[1].name, u"007101.qff");
    // A file made after the index was built is listed too.
    dir.Put("007-1-01.qff", "");
    EXPECT_EQ(folders.ListByPrefix(folder, u"007", u"007*.qff").files.size(), 3u);
}

TEST(MeetFolders, AFolderNameWithABackslashIsFound) {
    CSandbox dir;
    CMeetFolders folders;
    std::filesystem::create_directory(dir.File("Meet\\2026"));
    dir.Put("Meet\\2026/ORVO.EVT", "x");
    const FileLookup found = folders.Find(dir.Wide("Meet\\2026"), u"orvo.evt");
    EXPECT_EQ(NameOf(found), u"ORVO.EVT");
    EXPECT_EQ(found.path, dir.Wide("Meet\\2026/ORVO.EVT"));
}

TEST(MeetFolders, TheIndexHoldsEveryNameOnce) {
    CSandbox dir;
    CMeetFolders folders;
    const std::u16string folder = FromUtf8(dir.Dir());
    for (int i = 0; i < 300; ++i) dir.Put("00" + std::to_string(i) + ".QFF", "");
    EXPECT_FALSE(folders.Find(folder, u"none.qff").file);
    const auto size = folders.SizeOf(folder);
    EXPECT_EQ(size.names, 300u);
    EXPECT_GT(size.bytes, 300u * sizeof(std::u16string));
    EXPECT_EQ(NameOf(folders.Find(folder, u"00299.qff")), u"00299.QFF");
}

}  // namespace
}  // namespace kestrom::testing
