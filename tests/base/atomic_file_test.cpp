#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "base/AtomicFile.h"
#include "base/FileCause.h"
#include "base/FileFind.h"
#include "temp_folder.h"

namespace kestrom {
namespace {

using testing::TempFolder;

TEST(AtomicFile, ReplacesTheTargetAndLeavesNoTemporaryFile) {
    TempFolder dir;
    dir.Put("KestromMAC.dat", "old");
    ASSERT_EQ(::chmod(dir.Native("KestromMAC.dat").c_str(), 0640), 0);
    int cause = 0;
    ASSERT_TRUE(WriteFileAtomically(dir.Path("KestromMAC.dat"), "new content", &cause));
    EXPECT_EQ(dir.Get("KestromMAC.dat"), "new content");
    EXPECT_EQ(FindFiles(dir.Path(""), u"*").files.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(dir.Native("KestromMAC.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replacement keeps the old permissions

    ASSERT_TRUE(WriteFileAtomically(dir.Path("fresh.dat"), "", &cause));
    EXPECT_TRUE(LookUpFile(dir.Path("fresh.dat")).has_value());
}

TEST(AtomicFile, TextWrittenThroughTheFileObject) {
    TempFolder dir;
    CAtomicFileWriter writer(dir.Path("001-1-01.qff"));
    ASSERT_TRUE(writer.Create());
    EXPECT_NE(writer.TempPath(), writer.TargetPath());
    writer.File().SetWriteEncoding(CFileEx::kEncoding8Bit);
    writer.File().WriteString(u"1,Smith\n");
    EXPECT_FALSE(LookUpFile(writer.TargetPath()).has_value());  // nothing visible before Commit
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(dir.Get("001-1-01.qff"), "1,Smith\r\n");
}

TEST(AtomicFile, CommitNewClaimsOnlyAFreeName) {
    TempFolder dir;
    CAtomicFileWriter first(dir.Path("007-1-03.qff"));
    ASSERT_TRUE(first.Create());
    first.File().Write("first", 5);
    ASSERT_TRUE(first.CommitNew());
    EXPECT_EQ(dir.Get("007-1-03.qff"), "first");

    // The name is taken now: the second writer must not replace it.
    CAtomicFileWriter second(dir.Path("007-1-03.qff"));
    ASSERT_TRUE(second.Create());
    second.File().Write("second", 6);
    int cause = 0;
    EXPECT_FALSE(second.CommitNew(&cause));
    EXPECT_EQ(cause, file_cause::kSharingViolation);
    EXPECT_EQ(dir.Get("007-1-03.qff"), "first");
    EXPECT_EQ(FindFiles(dir.Path(""), u"*").files.size(), 1u);  // no temporary name left behind
}

TEST(AtomicFile, UncommittedWriterRemovesItsTemporaryFile) {
    TempFolder dir;
    dir.Put("orvo.evt", "old");
    {
        CAtomicFileWriter writer(dir.Path("orvo.evt"));
        ASSERT_TRUE(writer.Create());
        writer.File().Write("half", 4);
    }
    EXPECT_EQ(dir.Get("orvo.evt"), "old");
    EXPECT_EQ(FindFiles(dir.Path(""), u"*").files.size(), 1u);
}

TEST(AtomicFile, MissingFolderFailsAsAValue) {
    TempFolder dir;
    int cause = 0;
    EXPECT_FALSE(WriteFileAtomically(dir.Path("gone/settings.reg"), "x", &cause));
    EXPECT_EQ(cause, file_cause::kBadPath);
}

TEST(AtomicFile, FullDiskLeavesTheOldFile) {
    TempFolder dir;
    dir.Put("orvo.evt", "old content");
    // A file-size limit makes writes fail like a full disk does, also for root.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int cause = 0;
    bool ok = WriteFileAtomically(dir.Path("orvo.evt"), std::string(1 << 20, 'n'), &cause);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(cause, file_cause::kDiskFull);
    EXPECT_EQ(dir.Get("orvo.evt"), "old content");
    EXPECT_EQ(FindFiles(dir.Path(""), u"*").files.size(), 1u);
}

TEST(AtomicFile, FailedRenameLeavesTheTarget) {
    TempFolder dir;
    ASSERT_EQ(::mkdir(dir.Native("target").c_str(), 0755), 0);
    dir.Put("target/inside", "keep");
    int cause = 0;
    EXPECT_FALSE(WriteFileAtomically(dir.Path("target"), "x", &cause));
    EXPECT_NE(cause, 0);
    EXPECT_EQ(dir.Get("target/inside"), "keep");
    EXPECT_EQ(FindFiles(dir.Path(""), u"*").files.size(), 1u);
}

TEST(AtomicFile, SharingOfOpenTargetIsRespected) {
    TempFolder dir;
    dir.Put("orvo.evt", "old");
    {
        CFileEx holder(dir.Path("orvo.evt"));
        ASSERT_TRUE(holder.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone));
        int cause = 0;
        EXPECT_FALSE(WriteFileAtomically(dir.Path("orvo.evt"), "new", &cause));
        EXPECT_EQ(cause, file_cause::kSharingViolation);
        EXPECT_EQ(dir.Get("orvo.evt"), "old");
    }
    // A reader that allows writing does not stop the replacement and keeps reading the old text.
    CFileEx reader(dir.Path("orvo.evt"));
    ASSERT_TRUE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    ASSERT_TRUE(WriteFileAtomically(dir.Path("orvo.evt"), "new"));
    char buf[8] = {};
    EXPECT_EQ(reader.Read(buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf), "old");
    EXPECT_EQ(dir.Get("orvo.evt"), "new");
}

// On Linux the rename leaves a reader's file alone, so no reader's sharing stops it, and the
// reader goes on reading the old content whole.
TEST(AtomicFile, NoReaderStopsAReplacementAndEachKeepsTheOldContent) {
    TempFolder dir;
    for (unsigned share : {CFileEx::shareExclusive, CFileEx::shareDenyWrite, CFileEx::shareDenyRead,
                           CFileEx::shareDenyNone}) {
        dir.Put("orvo.evt", "old");
        CFileEx reader(dir.Path("orvo.evt"));
        ASSERT_TRUE(reader.Open(CFileEx::modeRead | share));
        int cause = 0;
        EXPECT_TRUE(WriteFileAtomically(dir.Path("orvo.evt"), "new", &cause)) << share;
        EXPECT_EQ(dir.Get("orvo.evt"), "new") << share;
        char buf[8] = {};
        EXPECT_EQ(reader.Read(buf, sizeof buf), 3u);
        EXPECT_EQ(std::string(buf), "old") << share;
    }
}

// While a replacement is being written, readers of the target open it with any sharing, and
// writers of it are refused; an in-place writer likewise keeps replacements out.
TEST(AtomicFile, AReplacementExcludesOtherWritersButNoReader) {
    TempFolder dir;
    dir.Put("007-1-03.qff", "old");
    const std::u16string target = dir.Path("007-1-03.qff");
    CAtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Create());
    EXPECT_TRUE(writer.TargetExisted());
    for (unsigned share : {CFileEx::shareExclusive, CFileEx::shareDenyWrite, CFileEx::shareDenyRead,
                           CFileEx::shareDenyNone}) {
        CFileEx reader(target);
        EXPECT_TRUE(reader.Open(CFileEx::modeRead | share)) << share;
    }
    CFileEx inPlace(target);
    int cause = 0;
    EXPECT_FALSE(inPlace.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone, &cause));
    EXPECT_EQ(cause, file_cause::kSharingViolation);
    CAtomicFileWriter second(target);
    EXPECT_FALSE(second.Create(&cause));
    EXPECT_EQ(cause, file_cause::kSharingViolation);

    writer.File().Write("new", 3);
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(dir.Get("007-1-03.qff"), "new");
    // The claim went with the commit.
    ASSERT_TRUE(inPlace.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone));
    EXPECT_FALSE(second.Create(&cause));
    EXPECT_EQ(cause, file_cause::kSharingViolation);
    inPlace.Close();
    EXPECT_TRUE(second.Create());
}

// A writer killed before its commit leaves the folder as it was: no temporary file at all.
TEST(AtomicFile, CrashBeforeTheCommitLeavesNothingBehind) {
    TempFolder dir;
    dir.Put("orvo.evt", "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CAtomicFileWriter writer(dir.Path("orvo.evt"));
        if (!writer.Create()) ::_exit(1);
        writer.File().Write(std::string(100000, 'n').data(), 100000);
        writer.File().Flush();
        ::raise(SIGKILL);
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(dir.Get("orvo.evt"), "old");
    const auto names = FindFiles(dir.Path(""), u"*").files;
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, u"orvo.evt");
}

// Leftovers of our own naming go when no writer holds them; everything else stays.
TEST(AtomicFile, StaleTemporaryFilesAreRemovedAndLiveOnesKept) {
    TempFolder dir;
    dir.Put("orvo.evt", "keep");
    dir.Put(".orvo.evt.0123456789ab.tmp", "stale");
    dir.Put(".007-1-03.qff.fedcba987654.tmp", "stale");
    dir.Put(".orvo.evt.0123456789AB.tmp", "not ours: upper-case digits");
    dir.Put(".orvo.evt.0123456789a.tmp", "not ours: eleven digits");
    dir.Put("x.0123456789ab.tmp", "not ours: not hidden");
    dir.Put(".hidden", "not ours");
    dir.Put(".settings.reg.00112233aabb.tmp", "held");
    const int held = ::open(dir.Native(".settings.reg.00112233aabb.tmp").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path("")), 2);
    std::vector<std::u16string> left;
    for (const auto& f : FindFiles(dir.Path(""), u"*").files) left.push_back(f.name);
    EXPECT_EQ(left, (std::vector<std::u16string>{
                        u".hidden", u".orvo.evt.0123456789AB.tmp", u".orvo.evt.0123456789a.tmp",
                        u".settings.reg.00112233aabb.tmp", u"orvo.evt", u"x.0123456789ab.tmp"}));
    ::close(held);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path("")), 1);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Path("missing-folder")), 0);
}

}  // namespace
}  // namespace kestrom
