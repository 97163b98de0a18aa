// A results or event folder that cannot take a write: a full disk (a tiny tmpfs) and a
// read-only mount. The upload gets its failure reply, the file it would have replaced is
// untouched, nothing half-written is left behind, and the server serves on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "daemon_harness.h"
#include "fault_mounts.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

constexpr std::string_view kOldResults = "1,1,1,\"100 Metres\"\r\n1,101,\"Lee\",10.90\r\n";
constexpr std::string_view kEventFile =
    "1,1,1,\"100 Metres\",T,1000\r\n,101,1,\"Ann\",\"Lee\",\"Club\"\r\n"
    "7,1,1,\"Long Jump\",LJ,1100\r\n,201,1,\"Cy\",\"Fox\",\"Club\"\r\n";

std::u16string ResultsUpload(std::u16string_view key, size_t lines) {
    std::u16string text = std::u16string(key) + u",\"100 Metres\"\r";
    for (size_t i = 0; i < lines; ++i) text += u"1,101,\"Lee\",10.50\r";
    return BuildUploadMessage(u"RFF", Scramble(text), false);
}

std::u16string StartList(size_t competitors) {
    std::u16string text = u"7,1,1,\"Long Jump\",LJ,1100\r\n";
    for (size_t i = 0; i < competitors; ++i) text += u",201,1,\"Cy\",\"Fox\",\"Club\"\r\n";
    return BuildRequest(u"SLS", text);
}

std::u16string ReplyCode(const CDaemonHarness& d, std::u16string_view message) {
    auto reply = d.Request(message, 10s);
    return reply ? reply->code : u"(no reply)";
}

// Fills the file system holding `dir` to the last block.
bool FillDisk(const std::string& dir) {
    const int fd = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
    return true;
}

std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& path : MeetFolderEntries(dir)) names.insert(path.filename().string());
    return names;
}

class FaultDiskTest : public ::testing::Test {
  protected:
    FaultDiskTest()
        : d_({.charMode = 0, .start = false, .extraArgs = {}, .runtimeDir = {}, .configDir = {}}) {}
    void SetUp() override {
        if (DaemonLauncher())
            GTEST_SKIP() << "needs Linux mounts that kestromd sees; it runs under "
                         << DaemonLauncher();
    }
    // A tiny disk is always below the default free-space reserve of uploads: without it the
    // write itself meets the full disk.
    bool WithoutUploadReserve() {
        return WriteFile(d_.ConfigDir() + "/settings.reg",
                         "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Kestrom\\3.23]\n"
                         "\"ResultsFreeSpaceReserveMB\"=\"0\"\n");
    }
    CDaemonHarness d_;
    CMountGuard mount_;
};

TEST_F(FaultDiskTest, FullDiskDuringResultsUploadKeepsTheOldFile) {
    if (!mount_.MountTmpfs(d_.ResultsDir(), "64k")) GTEST_SKIP() << mount_.Reason();
    const std::string old = d_.ResultsDir() + "/001-1-01.qff";
    ASSERT_TRUE(WriteFile(old, kOldResults));
    ASSERT_TRUE(WithoutUploadReserve());
    ASSERT_TRUE(d_.Start());
    ASSERT_TRUE(FillDisk(d_.ResultsDir()));

    // Replacing a heat's file, and a heat seen for the first time.
    EXPECT_EQ(ReplyCode(d_, ResultsUpload(u"1,1,1", 400)), u"NSR");
    EXPECT_EQ(ReplyCode(d_, ResultsUpload(u"2,1,1", 400)), u"NSR");
    EXPECT_EQ(ReadFile(old), kOldResults);
    EXPECT_EQ(Names(d_.ResultsDir()), (std::set<std::string>{"001-1-01.qff", "filler"}));
    EXPECT_TRUE(d_.WaitForLog("ERROR OPENING RESULTS FILE"));

    // With room again the very same upload goes through.
    std::filesystem::remove(d_.ResultsDir() + "/filler");
    EXPECT_EQ(ReplyCode(d_, ResultsUpload(u"1,1,1", 400)), u"ROK");
    EXPECT_NE(ReadFile(old), kOldResults);
}

// With the default reserve a disk this small takes no upload at all, full or not.
TEST_F(FaultDiskTest, UploadsStopAtTheFreeSpaceReserve) {
    if (!mount_.MountTmpfs(d_.ResultsDir(), "64k")) GTEST_SKIP() << mount_.Reason();
    const std::string old = d_.ResultsDir() + "/001-1-01.qff";
    ASSERT_TRUE(WriteFile(old, kOldResults));
    ASSERT_TRUE(d_.Start());
    EXPECT_EQ(ReplyCode(d_, ResultsUpload(u"1,1,1", 2)), u"NSR");
    EXPECT_EQ(ReadFile(old), kOldResults);
    EXPECT_TRUE(
        d_.WaitForLog("Result file (001-1-01.qff) not stored.  Free disk space (0 MB) is "
                      "below the reserve of 64 MB"))
        << d_.Stdout();
    EXPECT_EQ(Names(d_.ResultsDir()), (std::set<std::string>{"001-1-01.qff"}));
}

TEST_F(FaultDiskTest, FullDiskDuringStartListKeepsTheEventFile) {
    if (!mount_.MountTmpfs(d_.EventDir(), "64k")) GTEST_SKIP() << mount_.Reason();
    const std::string evt = d_.EventDir() + "/orvo.evt";
    ASSERT_TRUE(WriteFile(evt, kEventFile));
    ASSERT_TRUE(d_.Start());
    ASSERT_TRUE(FillDisk(d_.EventDir()));

    EXPECT_EQ(ReplyCode(d_, StartList(400)), u"NLS");
    EXPECT_EQ(ReadFile(evt), kEventFile);
    EXPECT_EQ(Names(d_.EventDir()), (std::set<std::string>{"orvo.evt", "filler"}));
    // The event file is still served whole.
    auto reply = d_.Request(BuildRequest(u"ECQ"));
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->payload.find(u"Long Jump"), std::u16string::npos);

    std::filesystem::remove(d_.EventDir() + "/filler");
    EXPECT_EQ(ReplyCode(d_, StartList(400)), u"ROK");
}

TEST_F(FaultDiskTest, ReadOnlyResultsFolderRefusesUploadsAndStillServesReads) {
    const std::string old = d_.ResultsDir() + "/001-1-01.qff";
    ASSERT_TRUE(WriteFile(old, kOldResults));
    if (!mount_.MountReadOnly(d_.ResultsDir())) GTEST_SKIP() << mount_.Reason();
    ASSERT_TRUE(d_.Start());

    EXPECT_EQ(ReplyCode(d_, ResultsUpload(u"1,1,1", 3)), u"NSR");
    EXPECT_EQ(ReplyCode(d_, ResultsUpload(u"2,1,1", 3)), u"NSR");
    EXPECT_EQ(ReadFile(old), kOldResults);
    EXPECT_EQ(Names(d_.ResultsDir()), (std::set<std::string>{"001-1-01.qff"}));

    auto reply = d_.Request(BuildRequest(u"RFQ", u"1,1,1"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"RRP");
    EXPECT_NE(reply->payload.find(u"10.90"), std::u16string::npos);
}

TEST_F(FaultDiskTest, ReadOnlyEventFolderRefusesStartLists) {
    const std::string evt = d_.EventDir() + "/orvo.evt";
    ASSERT_TRUE(WriteFile(evt, kEventFile));
    if (!mount_.MountReadOnly(d_.EventDir())) GTEST_SKIP() << mount_.Reason();
    ASSERT_TRUE(d_.Start());

    EXPECT_EQ(ReplyCode(d_, StartList(2)), u"NLS");
    EXPECT_EQ(ReadFile(evt), kEventFile);
    EXPECT_EQ(Names(d_.EventDir()), (std::set<std::string>{"orvo.evt"}));
}

}  // namespace
}  // namespace kestrom::testing
