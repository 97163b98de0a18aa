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
#include "support/sandbox.h"

namespace kestrom {
namespace {

using testing::CSandbox;

TEST(AtomicFile, ReplacesTheTargetAndLeavesNoTemporaryFile) {
    CSandbox dir;
    dir.Put("KestromMAC.dat", "old");
    ASSERT_EQ(::chmod(dir.File("KestromMAC.dat").c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(dir.Wide("KestromMAC.dat"), "new content"));
    EXPECT_EQ(dir.Get("KestromMAC.dat"), "new content");
    EXPECT_EQ(FindFiles(dir.Wide(""), u"*").files.size(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("KestromMAC.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replacement keeps the old permissions

    ASSERT_TRUE(WriteFileAtomically(dir.Wide("fresh.dat"), ""));
    EXPECT_TRUE(LookUpFile(dir.Wide("fresh.dat")).has_value());
}

TEST(AtomicFile, TextWrittenThroughTheFileObject) {
    CSandbox dir;
    CAtomicFileWriter writer(dir.Wide("001-1-01.qff"));
    ASSERT_TRUE(writer.Create());
    EXPECT_NE(writer.TempPath(), writer.TargetPath());
    writer.File().SetWriteEncoding(FileEncoding::k8Bit);
    writer.File().WriteString(u"1,Smith\n");
    EXPECT_FALSE(LookUpFile(writer.TargetPath()).has_value());  // nothing visible before Commit
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(dir.Get("001-1-01.qff"), "1,Smith\r\n");
}

TEST(AtomicFile, CommitNewClaimsOnlyAFreeName) {
    CSandbox dir;
    CAtomicFileWriter first(dir.Wide("007-1-03.qff"));
    ASSERT_TRUE(first.Create());
    first.File().Write("first", 5);
    ASSERT_TRUE(first.CommitNew());
    EXPECT_EQ(dir.Get("007-1-03.qff"), "first");

    // The name is taken now: the second writer must not replace it.
    CAtomicFileWriter second(dir.Wide("007-1-03.qff"));
    ASSERT_TRUE(second.Create());
    second.File().Write("second", 6);
    EXPECT_EQ(second.CommitNew().Cause(), file_cause::kSharingViolation);
    EXPECT_EQ(dir.Get("007-1-03.qff"), "first");
    EXPECT_EQ(FindFiles(dir.Wide(""), u"*").files.size(), 1u);  // no temporary name left behind
}

TEST(AtomicFile, UncommittedWriterRemovesItsTemporaryFile) {
    CSandbox dir;
    dir.Put("orvo.evt", "old");
    {
        CAtomicFileWriter writer(dir.Wide("orvo.evt"));
        ASSERT_TRUE(writer.Create());
        writer.File().Write("half", 4);
    }
    EXPECT_EQ(dir.Get("orvo.evt"), "old");
    EXPECT_EQ(FindFiles(dir.Wide(""), u"*").files.size(), 1u);
}

TEST(AtomicFile, MissingFolderFailsAsAValue) {
    CSandbox dir;
    EXPECT_EQ(WriteFileAtomically(dir.Wide("gone/settings.reg"), "x").Cause(),
              file_cause::kBadPath);
}

TEST(AtomicFile, FullDiskLeavesTheOldFile) {
    CSandbox dir;
    dir.Put("orvo.evt", "old content");
    // A file-size limit makes writes fail like a full disk does, also for root.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const CStatus written = WriteFileAtomically(dir.Wide("orvo.evt"), std::string(1 << 20, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(written.Cause(), file_cause::kDiskFull);
    EXPECT_EQ(dir.Get("orvo.evt"), "old content");
    EXPECT_EQ(FindFiles(dir.Wide(""), u"*").files.size(), 1u);
}

TEST(AtomicFile, FailedRenameLeavesTheTarget) {
    CSandbox dir;
    ASSERT_EQ(::mkdir(dir.File("target").c_str(), 0755), 0);
    dir.Put("target/inside", "keep");
    EXPECT_NE(WriteFileAtomically(dir.Wide("target"), "x").Cause(), 0);
    EXPECT_EQ(dir.Get("target/inside"), "keep");
    EXPECT_EQ(FindFiles(dir.Wide(""), u"*").files.size(), 1u);
}

TEST(AtomicFile, SharingOfOpenTargetIsRespected) {
    CSandbox dir;
    dir.Put("orvo.evt", "old");
    {
        CFileEx holder(dir.Wide("orvo.evt"));
        ASSERT_TRUE(holder.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone));
        EXPECT_EQ(WriteFileAtomically(dir.Wide("orvo.evt"), "new").Cause(),
                  file_cause::kSharingViolation);
        EXPECT_EQ(dir.Get("orvo.evt"), "old");
    }
    // A reader that allows writing does not stop the replacement and keeps reading the old text.
    CFileEx reader(dir.Wide("orvo.evt"));
    ASSERT_TRUE(reader.Open(CFileEx::modeRead | CFileEx::shareDenyNone));
    ASSERT_TRUE(WriteFileAtomically(dir.Wide("orvo.evt"), "new"));
    char buf[8] = {};
    EXPECT_EQ(reader.Read(buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf), "old");
    EXPECT_EQ(dir.Get("orvo.evt"), "new");
}

// On Linux the rename leaves a reader's file alone, so no reader's sharing stops it, and the
// reader goes on reading the old content whole.
TEST(AtomicFile, NoReaderStopsAReplacementAndEachKeepsTheOldContent) {
    CSandbox dir;
    for (unsigned share : {CFileEx::shareExclusive, CFileEx::shareDenyWrite, CFileEx::shareDenyRead,
                           CFileEx::shareDenyNone}) {
        dir.Put("orvo.evt", "old");
        CFileEx reader(dir.Wide("orvo.evt"));
        ASSERT_TRUE(reader.Open(CFileEx::modeRead | share));
        EXPECT_TRUE(WriteFileAtomically(dir.Wide("orvo.evt"), "new")) << share;
        EXPECT_EQ(dir.Get("orvo.evt"), "new") << share;
        char buf[8] = {};
        EXPECT_EQ(reader.Read(buf, sizeof buf), 3u);
        EXPECT_EQ(std::string(buf), "old") << share;
    }
}

// While a replacement is being written, readers of the target open it with any sharing, and
// writers of it are refused; an in-place writer likewise keeps replacements out.
TEST(AtomicFile, AReplacementExcludesOtherWritersButNoReader) {
    CSandbox dir;
    dir.Put("007-1-03.qff", "old");
    const std::u16string target = dir.Wide("007-1-03.qff");
    CAtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Create());
    EXPECT_TRUE(writer.TargetExisted());
    for (unsigned share : {CFileEx::shareExclusive, CFileEx::shareDenyWrite, CFileEx::shareDenyRead,
                           CFileEx::shareDenyNone}) {
        CFileEx reader(target);
        EXPECT_TRUE(reader.Open(CFileEx::modeRead | share)) << share;
    }
    CFileEx inPlace(target);
    EXPECT_EQ(inPlace.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone).Cause(),
              file_cause::kSharingViolation);
    CAtomicFileWriter second(target);
    EXPECT_EQ(second.Create().Cause(), file_cause::kSharingViolation);

    writer.File().Write("new", 3);
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(dir.Get("007-1-03.qff"), "new");
    // The claim went with the commit.
    ASSERT_TRUE(inPlace.Open(CFileEx::modeReadWrite | CFileEx::shareDenyNone));
    EXPECT_EQ(second.Create().Cause(), file_cause::kSharingViolation);
    inPlace.Close();
    EXPECT_TRUE(second.Create());
}

// A writer killed before its commit leaves the folder as it was: no temporary file at all.
TEST(AtomicFile, CrashBeforeTheCommitLeavesNothingBehind) {
    CSandbox dir;
    dir.Put("orvo.evt", "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CAtomicFileWriter writer(dir.Wide("orvo.evt"));
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
    const auto names = FindFiles(dir.Wide(""), u"*").files;
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, u"orvo.evt");
}

// Leftovers of our own naming go when no writer holds them; everything else stays.
TEST(AtomicFile, StaleTemporaryFilesAreRemovedAndLiveOnesKept) {
    CSandbox dir;
    dir.Put("orvo.evt", "keep");
    dir.Put(".orvo.evt.0123456789ab.tmp", "stale");
    dir.Put(".007-1-03.qff.fedcba987654.tmp", "stale");
    dir.Put(".orvo.evt.0123456789AB.tmp", "not ours: upper-case digits");
    dir.Put(".orvo.evt.0123456789a.tmp", "not ours: eleven digits");
    dir.Put("x.0123456789ab.tmp", "not ours: not hidden");
    dir.Put(".hidden", "not ours");
    dir.Put(".settings.reg.00112233aabb.tmp", "held");
    const int held = ::open(dir.File(".settings.reg.00112233aabb.tmp").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Wide("")), 2);
    std::vector<std::u16string> left;
    for (const auto& f : FindFiles(dir.Wide(""), u"*").files) left.push_back(f.name);
    EXPECT_EQ(left, (std::vector<std::u16string>{
                        u".hidden", u".orvo.evt.0123456789AB.tmp", u".orvo.evt.0123456789a.tmp",
                        u".settings.reg.00112233aabb.tmp", u"orvo.evt", u"x.0123456789ab.tmp"}));
    ::close(held);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Wide("")), 1);
    EXPECT_EQ(RemoveStaleTemporaryFiles(dir.Wide("missing-folder")), 0);
}

}  // namespace
}  // namespace kestrom
