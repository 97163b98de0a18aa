// The versions that replaced results files leave behind, against a running kestromd: many
// connections racing on one heat never cost a version the history promised to keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "daemon_harness.h"
#include "wire/Records.h"
#include "wire/RequestGrammar.h"

namespace kestrom::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kConnections = 8;
constexpr int kUploadsEach = 50;
constexpr size_t kKeptVersions = 20;  // HistoryVersions by default

// Upload `i` of connection `c`: big enough that a torn copy would show.
std::string Text(int c, int i) {
    return "7,1,3,Shot\r " + std::to_string(c) + "," + std::to_string(i) + "," +
           std::string(4000, static_cast<char>('a' + (c * kUploadsEach + i) % 26)) + "\r";
}

// As the server stores it in single-byte mode: each CR becomes CR LF.
std::string Stored(const std::string& text) {
    std::string out;
    for (char ch : text) out += ch == '\r' ? std::string("\r\n") : std::string(1, ch);
    return out;
}

TEST(HistoryE2E, RacingUploadsOfOneHeatKeepExactlyTheNewestVersionsWhole) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    std::vector<std::vector<bool>> stored(kConnections, std::vector<bool>(kUploadsEach));
    std::vector<std::thread> threads;
    for (int c = 0; c < kConnections; ++c) {
        threads.emplace_back([&, c] {
            auto connection = d.Connect();
            if (!connection) return;
            for (int i = 0; i < kUploadsEach; ++i) {
                const std::u16string text = FromUtf8(Text(c, i));
                // An upload that meets another writer of the heat is refused ("NSR"); a
                // device sends it again.
                for (int attempt = 0; attempt < 500 && !stored[c][i]; ++attempt) {
                    if (!connection->SendText(BuildUploadMessage(u"RFF", Scramble(text), false)))
                        return;
                    const auto reply = connection->ReceiveReply(10s);
                    if (!reply) return;
                    stored[c][i] = reply->code == u"ROK";
                }
            }
        });
    }
    for (auto& t : threads) t.join();

    std::map<std::string, std::pair<int, int>> uploadOf;
    size_t accepted = 0;
    for (int c = 0; c < kConnections; ++c)
        for (int i = 0; i < kUploadsEach; ++i)
            if (stored[c][i]) {
                uploadOf[Stored(Text(c, i))] = {c, i};
                ++accepted;
            }
    ASSERT_GT(accepted, kKeptVersions + 1) << "too few uploads got through to fill the history";

    const std::string folder = d.ResultsDir() + "/.kestrom-history/007-1-03.qff";
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    // Every accepted upload but the first replaced a file; the newest N of those are kept.
    ASSERT_EQ(names.size(), std::min(kKeptVersions, accepted - 1));

    const std::string current = ReadFile(d.ResultsDir() + "/007-1-03.qff");
    ASSERT_TRUE(uploadOf.count(current));
    std::set<std::string> seen = {current};
    std::vector<int> newestKept(kConnections, -1);
    for (const auto& name : names) {
        const std::string version = ReadFile(name.string());
        ASSERT_TRUE(uploadOf.count(version)) << name << " is not a whole accepted upload";
        EXPECT_TRUE(seen.insert(version).second) << name << " repeats a version";
        const auto [c, i] = uploadOf[version];
        // One connection's uploads follow one another: its versions come in its order.
        EXPECT_GT(i, newestKept[c]) << name;
        newestKept[c] = i;
    }
    // Newest first dropped nothing newer: each connection's accepted uploads after its newest
    // kept one are all still there.
    for (int c = 0; c < kConnections; ++c) {
        if (newestKept[c] < 0) continue;
        for (int i = newestKept[c] + 1; i < kUploadsEach; ++i) {
            if (stored[c][i]) {
                EXPECT_TRUE(seen.count(Stored(Text(c, i)))) << c << "," << i;
            }
        }
    }
}

}  // namespace
}  // namespace kestrom::testing
