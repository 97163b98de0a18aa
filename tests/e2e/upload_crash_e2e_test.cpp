// kestromd killed with SIGKILL at random moments while start lists and results uploads stream
// in: after every kill orvo.evt and each results file hold a complete old or new content.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "base/TextConvert.h"
#include "daemon_harness.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

constexpr std::string_view kInitial = "1,1,1,Opening\r\n x\r\n";
constexpr int kHeats = 3;  // results files written over and over

// Start list n: a new event after every earlier one, so it is appended at the end and the
// event file after n updates is the initial text and the first n start lists.
std::string StartList(int n) {
    return std::to_string(100 + n) + ",1,1,Event " + std::to_string(n) + "\r\n a" +
           std::to_string(n) + "\r\n b" + std::to_string(n) + "\r\n";
}

// Version v of heat h's results, as stored (CR LF line ends); long enough to span several
// writes, and of a length that differs per version so a torn file cannot pass for one.
std::string Results(int heat, int version) {
    std::string text = "9,1," + std::to_string(heat) + ",Shot\r\n";
    for (int line = 0; line < 40 + version % 50; ++line)
        text += " " + std::to_string(line) + ",Athlete " + std::to_string(version) + ",1" +
                std::to_string(line % 10) + ".00\r\n";
    return text;
}

std::u16string UploadOf(const std::string& stored) {
    std::string sent;
    for (size_t i = 0; i < stored.size(); ++i)
        if (!(stored[i] == '\n' && i > 0 && stored[i - 1] == '\r')) sent += stored[i];
    return BuildUploadMessage(u"RFF", Scramble(FromUtf8(sent)), false);
}

struct CStream {
    int nextList = 0;   // first start list not yet known to be in the file
    int listsSent = 0;  // start lists sent (acknowledged or not)
    int versionsSent[kHeats] = {};
    int versionsAcked[kHeats] = {};
};

// Sends start lists and uploads in turn until the server stops answering.
void RunStream(const CDaemonHarness& d, CStream& s, std::atomic<int>& acks) {
    auto c = d.Connect();
    if (!c) return;
    for (int i = 0;; ++i) {
        if (i % 2 == 0) {
            const int n = s.listsSent;
            ++s.listsSent;
            if (!c->SendText(BuildRequest(u"SLS", FromUtf8(StartList(n))))) return;
            auto reply = c->ReceiveReply(5s);
            if (!reply) return;
            if (reply->code == u"ROK") ++acks;
        } else {
            const int heat = (i / 2) % kHeats;
            const int version = ++s.versionsSent[heat];
            if (!c->SendText(UploadOf(Results(heat + 1, version)))) return;
            auto reply = c->ReceiveReply(5s);
            if (!reply) return;
            if (reply->code == u"ROK") s.versionsAcked[heat] = version, ++acks;
        }
    }
}

TEST(UploadCrashE2E, KilledServerLeavesOldOrNewFilesNeverTornOrMissing) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string eventPath = d.EventDir() + "/orvo.evt";
    ASSERT_TRUE(WriteFile(eventPath, kInitial));

    std::mt19937 random(20240612);
    CStream s;
    std::atomic<int> acks{0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int kills = 0;
    for (; kills < 100 && std::chrono::steady_clock::now() < deadline; ++kills) {
        if (!d.Running()) {
            ASSERT_TRUE(d.Start());
        }
        s.listsSent = s.nextList;
        std::thread stream([&] { RunStream(d, s, acks); });
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 80000)(random)));
        d.Kill();
        stream.join();

        // The event file: the initial text and a run of start lists, at least every one
        // acknowledged, at most every one sent.
        const std::string file = ReadFile(eventPath);
        ASSERT_TRUE(std::filesystem::exists(eventPath)) << "kill " << kills;
        std::string expected(kInitial);
        for (int n = 0; n < s.nextList; ++n) expected += StartList(n);
        int n = s.nextList;
        while (file != expected && n < s.listsSent) expected += StartList(n++);
        ASSERT_EQ(file, expected) << "kill " << kills << ", lists sent " << s.listsSent;
        s.nextList = n;

        // Each results file: absent until a version may have been stored, then exactly one
        // version no older than the last acknowledged.
        for (int heat = 0; heat < kHeats; ++heat) {
            const std::string path =
                d.ResultsDir() + "/009-1-0" + std::to_string(heat + 1) + ".qff";
            if (!std::filesystem::exists(path)) {
                ASSERT_EQ(s.versionsAcked[heat], 0) << path;
                continue;
            }
            const std::string stored = ReadFile(path);
            bool complete = false;
            for (int v = std::max(1, s.versionsAcked[heat]); v <= s.versionsSent[heat]; ++v)
                complete = complete || stored == Results(heat + 1, v);
            ASSERT_TRUE(complete) << path << " after kill " << kills << ": " << stored.size()
                                  << " bytes";
            // A later version may only be sent after this one is on the disk.
            s.versionsAcked[heat] = 0;
            for (int v = 1; v <= s.versionsSent[heat]; ++v)
                if (stored == Results(heat + 1, v)) s.versionsAcked[heat] = v;
        }
    }
    // Whatever the kills interrupted, no temporary file is left once the server runs again.
    if (!d.Running()) {
        ASSERT_TRUE(d.Start());
    }
    for (const std::string& folder : {d.EventDir(), d.ResultsDir()})
        for (const auto& path : MeetFolderEntries(folder))
            EXPECT_NE(path.filename().string().front(), '.') << path;
    EXPECT_GE(kills, 20);
    // The kills did land among the requests, not all before them.
    EXPECT_GT(acks.load(), kills / 4);
    EXPECT_GT(s.nextList, 0);
}

}  // namespace
}  // namespace kestrom::testing
