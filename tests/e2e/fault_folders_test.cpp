// The meet's folders changing under a running server: the event folder removed while
// serving, and meet files held open by another process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "daemon_harness.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

constexpr std::string_view kEventFile =
    "1,1,1,\"100 Metres\",T,1000\r\n,101,1,\"Ann\",\"Lee\",\"Club\"\r\n"
    "7,1,1,\"Long Jump\",LJ,1100\r\n,201,1,\"Cy\",\"Fox\",\"Club\"\r\n";
constexpr std::string_view kPeopleFile = "101,\"Lee\",\"Ann\",\"Club\",F,20,7\r\n";

std::u16string CodeOf(const CDaemonHarness& d, std::u16string_view message) {
    auto reply = d.Request(message, 10s);
    return reply ? reply->code : u"(no reply)";
}

std::u16string StartList() {
    return BuildRequest(u"SLS",
                        u"7,1,1,\"Long Jump\",LJ,1100\r\n,202,1,\"Di\",\"Ng\",\"Club\"\r\n");
}

TEST(FaultFolders, EventFolderRemovedWhileServingGivesFailureRepliesUntilItIsBack) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    ASSERT_TRUE(WriteFile(d.EventDir() + "/orvo.evt", kEventFile));
    ASSERT_TRUE(WriteFile(d.EventDir() + "/orvo.ppl", kPeopleFile));
    EXPECT_EQ(CodeOf(d, BuildRequest(u"PRQ", u"10000001012000,7")), u"PRP");

    // A connection that stays open across the removal must keep being served too.
    auto held = d.Connect();
    ASSERT_TRUE(held);
    std::filesystem::remove_all(d.EventDir());

    EXPECT_EQ(CodeOf(d, BuildRequest(u"ECQ")), u"NLS");
    EXPECT_EQ(CodeOf(d, BuildRequest(u"HRQ")), u"NLS");
    EXPECT_EQ(CodeOf(d, BuildRequest(u"EDQ", u"10000001012024")), u"NLS");
    EXPECT_EQ(CodeOf(d, BuildRequest(u"PRQ", u"10000001012000,7")), u"NLA");
    EXPECT_EQ(CodeOf(d, StartList()), u"NLS");
    // The start list must not have brought the folder back with a file of its own.
    EXPECT_FALSE(std::filesystem::exists(d.EventDir()));
    ASSERT_TRUE(held->SendText(BuildRequest(u"HCL")));
    auto pong = held->ReceiveReply();
    ASSERT_TRUE(pong);
    EXPECT_EQ(pong->code, u"HMM");

    std::filesystem::create_directories(d.EventDir());
    ASSERT_TRUE(WriteFile(d.EventDir() + "/orvo.evt", kEventFile));
    EXPECT_EQ(CodeOf(d, StartList()), u"ROK");
    EXPECT_NE(ReadFile(d.EventDir() + "/orvo.evt").find("\"Di\""), std::string::npos);
}

// Another program (the meet software, a backup tool) with the file open, and holding a
// POSIX write lock on it, the way a Linux program guards a file it is writing.
class CHolder {
  public:
    explicit CHolder(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const bool locked = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0;
            const char answer = locked ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            ::pause();
            ::_exit(0);
        }
        char answer = 'n';
        (void)!::read(ready[0], &answer, 1);
        locked_ = answer == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~CHolder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool Locked() const { return locked_; }

  private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

TEST(FaultFolders, FilesHeldOpenByAnotherProcessAreServedAndReplaced) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string evt = d.EventDir() + "/orvo.evt";
    const std::string results = d.ResultsDir() + "/007-1-01.qff";
    ASSERT_TRUE(WriteFile(evt, kEventFile));
    ASSERT_TRUE(WriteFile(results, "7,1,1,\"Long Jump\"\r\n1,201,\"Fox\",6.10\r\n"));
    CHolder eventHolder(evt);
    CHolder resultsHolder(results);
    ASSERT_TRUE(eventHolder.Locked());
    ASSERT_TRUE(resultsHolder.Locked());

    auto events = d.Request(BuildRequest(u"ECQ"));
    ASSERT_TRUE(events);
    EXPECT_NE(events->payload.find(u"Long Jump"), std::u16string::npos);
    auto rfq = d.Request(BuildRequest(u"RFQ", u"7,1,1"));
    ASSERT_TRUE(rfq);
    EXPECT_EQ(rfq->code, u"RRP");
    EXPECT_NE(rfq->payload.find(u"6.10"), std::u16string::npos);

    // Locks of other processes are advisory: the replacement goes in whole by rename.
    EXPECT_EQ(CodeOf(d, StartList()), u"ROK");
    EXPECT_NE(ReadFile(evt).find("\"Di\""), std::string::npos);
    const std::u16string upload =
        BuildUploadMessage(u"RFF", Scramble(u"7,1,1,\"Long Jump\"\r1,201,\"Fox\",6.55\r"), false);
    EXPECT_EQ(CodeOf(d, upload), u"ROK");
    EXPECT_NE(ReadFile(results).find("6.55"), std::string::npos);
}

// Files replaced at the same time in one folder: every replacement unlinks an inode whose
// number the file system may hand to the next new file at once, and one request's bookkeeping
// of the old file must never refuse another request's new one.
TEST(FaultFolders, ConcurrentReplacementsInOneFolderAllSucceed) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    ASSERT_TRUE(WriteFile(d.EventDir() + "/orvo.evt", kEventFile));
    constexpr int kClients = 12;
    constexpr int kRounds = 60;
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            auto c = d.Connect();
            if (!c) {
                failures += kRounds;
                return;
            }
            const std::u16string event = u"1" +
                                         std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
                                         std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            for (int n = 0; n < kRounds; ++n) {
                const std::u16string heat = n % 2 ? u"1" : u"2";
                const std::u16string message =
                    n % 5 == 4
                        ? BuildRequest(u"SLS", event + u",1,1,\"Discus\",DT,1300\r\n,1,1\r\n")
                        : BuildUploadMessage(
                              u"RFF", Scramble(event + u",1," + heat + u",\"Shot\"\r1,1,9.9\r"),
                              false);
                auto reply = c->SendText(message) ? c->ReceiveReply(10s) : std::nullopt;
                if (!reply || reply->code != u"ROK") ++failures;
            }
        });
    }
    for (auto& t : clients) t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace kestrom::testing
