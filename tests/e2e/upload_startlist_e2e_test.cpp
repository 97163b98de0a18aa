// "SLS" against a running kestromd: the merged orvo.evt on disk, the ROK stamp, the log, and
// many clerks at once while another client keeps reading the event file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "base/TextConvert.h"
#include "daemon_harness.h"
#include "meetdata/Readers.h"

namespace kestrom::testing {
namespace {

std::u16string Sls(std::u16string_view startList) {
    return BuildRequest(u"SLS", startList);
}

std::u16string StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return FormatDateStamp(st.st_mtime);
}

constexpr std::string_view kMeet =
    "5,1,1,100m,TR\r\n a1\r\n"
    "5,1,2,100m,TR\r\n b1\r\n"
    "5,2,1,100m,TR\r\n c1\r\n"
    "7,1,1,Long Jump,LJ\r\n d1\r\n";

TEST(UploadStartListE2E, MergesIntoTheEventFileAndRepliesWithItsNewStamp) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string path = d.EventDir() + "/orvo.evt";
    ASSERT_TRUE(WriteFile(path, kMeet));

    auto reply = d.Request(Sls(u"5,1,3,100m,TR\r\n n1\r\n n2\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"ROK");
    EXPECT_EQ(reply->payload, StampOf(path));
    EXPECT_EQ(ReadFile(path),
              "5,1,1,100m,TR\r\n a1\r\n"
              "5,1,2,100m,TR\r\n b1\r\n"
              "5,1,3,100m,TR\r\n n1\r\n n2\r\n"
              "5,2,1,100m,TR\r\n c1\r\n"
              "7,1,1,Long Jump,LJ\r\n d1\r\n");
    EXPECT_TRUE(d.WaitForLog("(5,1,3)"));
    EXPECT_TRUE(d.WaitForLog("Receiving Start List")) << d.Stdout();

    // The file's own header line stays; the start list's is dropped.
    reply = d.Request(Sls(u"5,1,2,Renamed,XX\r\n m1\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"ROK");
    EXPECT_NE(ReadFile(path).find("5,1,2,100m,TR\r\n m1\r\n5,1,3,"), std::string::npos);

    // No heat after the round: refused, file untouched.
    const std::string before = ReadFile(path);
    reply = d.Request(Sls(u"5,1\r\n x\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"NLS");
    EXPECT_TRUE(reply->payload.empty());
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_TRUE(d.WaitForLog("INCOMPLETE COMMAND RECEIVING START LIST"));
    EXPECT_EQ(MeetFolderEntries(d.EventDir()).size(), 1u);
}

TEST(UploadStartListE2E, UnicodeModeRewritesAnEightBitFileAsUtf16) {
    CDaemonHarness d(
        {.charMode = 1, .start = true, .extraArgs = {}, .runtimeDir = {}, .configDir = {}});
    ASSERT_TRUE(d.Running());
    const std::string path = d.EventDir() + "/orvo.evt";
    ASSERT_TRUE(WriteFile(path, "; meet\r\n\r\n5,1,1,100m\r\n a\r\n\x1a"));
    auto reply = d.Request(Sls(u"6,1,1,200m\r\n \u00C5sa\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"ROK");
    std::string expected = "\xFF\xFE";
    for (char16_t c :
         std::u16string(u"; meet\r\n\r\n5,1,1,100m\r\n a\r\n6,1,1,200m\r\n \u00C5sa\r\n")) {
        expected += static_cast<char>(c & 0xFF);
        expected += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(UploadStartListE2E, MissingEventFileIsReportedWithItsPath) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    auto reply = d.Request(Sls(u"5,1,1,x\r\n a\r\n"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"NLS");
    EXPECT_TRUE(d.WaitForLog("ERROR FINDING EVENT FILE: " + d.AsDaemonNames(d.EventDir())));
}

// 8 clerks send 50 heats each at once; a reader asks for the event file and its stamp all the
// while and must never be told that the file is missing, nor see it shrink.
TEST(UploadStartListE2E, ConcurrentStartListsAreAllKeptOnceAndTheFileNeverVanishes) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    const std::string path = d.EventDir() + "/orvo.evt";
    ASSERT_TRUE(WriteFile(path, "1,1,1,Start\r\n x\r\n"));

    constexpr int kClients = 8, kEach = 50;
    std::atomic<bool> done{false};
    std::atomic<int> readerFailures{0}, readerRequests{0}, shrinks{0};
    std::thread reader([&] {
        auto c = d.Connect();
        if (!c) return readerFailures.store(1000);
        size_t lastHeaders = 0;
        for (int i = 0; !done; ++i) {
            const bool copy = i % 2 == 0;
            if (!c->SendText(BuildRequest(copy ? u"ECQ" : u"EDQ", u"00000001011990"))) break;
            auto reply = c->ReceiveReply(10s);
            ++readerRequests;
            if (!reply || reply->code == u"NLS") {
                ++readerFailures;
                continue;
            }
            if (!copy) continue;
            const size_t headers =
                std::count(reply->payload.begin(), reply->payload.end(), u'\n') / 2;
            if (headers < lastHeaders) ++shrinks;
            lastHeaders = headers;
        }
    });

    std::vector<std::vector<std::u16string>> codes(kClients);
    std::vector<std::thread> clerks;
    for (int client = 0; client < kClients; ++client) {
        clerks.emplace_back([&, client] {
            auto c = d.Connect();
            for (int heat = 1; heat <= kEach; ++heat) {
                const std::u16string list =
                    FromUtf8("20," + std::to_string(client + 1) + "," + std::to_string(heat) +
                             ",Heat\r\n c" + std::to_string(client) + "\r\n");
                std::optional<CReply> reply;
                if (c && c->SendText(Sls(list))) reply = c->ReceiveReply(30s);
                codes[client].push_back(reply ? reply->code : u"(none)");
            }
        });
    }
    for (auto& t : clerks) t.join();
    done = true;
    reader.join();

    const std::string file = ReadFile(path);
    for (int client = 0; client < kClients; ++client) {
        for (int heat = 1; heat <= kEach; ++heat) {
            const std::string header =
                "20," + std::to_string(client + 1) + "," + std::to_string(heat) + ",Heat\r\n";
            size_t count = 0;
            for (size_t at = file.find(header); at != std::string::npos;
                 at = file.find(header, at + 1))
                if (at == 0 || file[at - 1] == '\n') ++count;
            EXPECT_EQ(codes[client][heat - 1], u"ROK") << header;
            EXPECT_EQ(count, 1u) << header;
        }
    }
    // Start header, 400 heats, each with one competitor line.
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 2 + 2 * kClients * kEach);
    EXPECT_GT(readerRequests.load(), 0);
    EXPECT_EQ(readerFailures.load(), 0);
    EXPECT_EQ(shrinks.load(), 0);
}

}  // namespace
}  // namespace kestrom::testing
