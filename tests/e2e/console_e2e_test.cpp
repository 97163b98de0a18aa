// The browser console of a running kestromd, over HTTP from loopback (which the console
// trusts): the device board, the streamed event log, a change posted from the console's own
// page, kestrom-client status, and a clean stop while a page still streams.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "daemon_harness.h"

namespace kestrom::testing {
namespace {

class ConsoleE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(d_.Running());
        // The console is up once it has announced itself.
        ASSERT_TRUE(d_.WaitForLog(
            "Operator console at http://127.0.0.1:" + std::to_string(d_.ConsolePort()) + "/"))
            << d_.Stdout();
    }

    httplib::Client Http() const {
        httplib::Client c("127.0.0.1", d_.ConsolePort());
        c.set_read_timeout(10, 0);
        return c;
    }

    // The token the console announces for other computers; its forms carry it.
    std::string Token() const {
        const std::string log = d_.Stdout();
        const std::string mark = "?token=";
        const size_t at = log.find(mark);
        if (at == std::string::npos) return {};
        const size_t end = log.find_first_of("\r\n", at);
        return log.substr(at + mark.size(), end - at - mark.size());
    }

    CDaemonHarness d_;
};

TEST_F(ConsoleE2E, TheDeviceBoardCountsARequestAndStatusPrintsIt) {
    ASSERT_TRUE(d_.Request(BuildRequest(u"HFL", u"")));
    ASSERT_TRUE(d_.Request(BuildRequest(u"HFL", u"")));
    std::string board;
    std::string type;
    ASSERT_TRUE(WaitUntil([&] {
        const auto res = Http().Get("/api/devices");
        if (!res || res->status != 200) return false;
        board = res->body;
        type = res->get_header_value("Content-Type");
        return board.find("\"requests\":2") != std::string::npos;
    })) << board;
    EXPECT_NE(board.find("\"ip\":\"127.0.0.1\""), std::string::npos) << board;
    EXPECT_NE(board.find("\"product\":\"FieldOrvo\""), std::string::npos) << board;
    EXPECT_EQ(type, "application/json");

    // This build's kestrom-client, or the one KESTROM_CLIENT names (kestrom-client.exe),
    // which then runs under the daemon's launcher.
    const char* client = std::getenv("KESTROM_CLIENT");
    const bool named = client && *client;
    const char* launcher = named ? DaemonLauncher() : nullptr;
    const std::string command =
        std::string(launcher ? launcher : "") + " '" + (named ? client : KESTROM_CLIENT_PATH) +
        "' --host 127.0.0.1 status --console-port " + std::to_string(d_.ConsolePort()) + " 2>&1";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    std::erase(out, '\r');
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.rfind("product\tip\tmac\tfirst\tlast\trequests\tuploads\trefusals\tstale\n", 0),
              0u)
        << out;
    EXPECT_NE(out.find("FieldOrvo\t127.0.0.1\t"), std::string::npos) << out;
    EXPECT_NE(out.find("\t2\t0\t0\tfalse\n"), std::string::npos) << out;
}

TEST_F(ConsoleE2E, AnOpenPageStreamsTheLogAndTheDaemonStillStopsCleanly) {
    std::mutex mutex;
    std::string streamed;
    std::atomic<bool> ended{false};
    // The stream stays open until the daemon ends it.
    std::thread page([&] {
        auto c = Http();
        c.Get("/events", [&](const char* data, size_t size) {
            std::lock_guard lock(mutex);
            streamed.append(data, size);
            return true;
        });
        ended = true;
    });
    auto seen = [&](const std::string& text) {
        return WaitUntil([&] {
            std::lock_guard lock(mutex);
            return streamed.find(text) != std::string::npos;
        });
    };
    // What was logged before the page opened comes first, then what is logged while it is open.
    EXPECT_TRUE(seen("Operator console at"));
    ASSERT_TRUE(d_.Request(BuildRequest(u"HFL", u"")));
    EXPECT_TRUE(seen("FieldOrvo Ping"));
    {
        std::lock_guard lock(mutex);
        EXPECT_NE(streamed.find("\nid: "), std::string::npos) << streamed;
        EXPECT_NE(streamed.find("\ndata: "), std::string::npos) << streamed;
    }

    EXPECT_EQ(d_.Stop(), 0);
    EXPECT_TRUE(WaitUntil([&] { return ended.load(); }, 10s));
    page.join();
}

TEST_F(ConsoleE2E, AnEntryAddedFromTheConsolesPageIsSavedAndServed) {
    const std::string token = Token();
    ASSERT_EQ(token.size(), 32u) << d_.Stdout();
    const httplib::Headers page = {
        {"Origin", "http://127.0.0.1:" + std::to_string(d_.ConsolePort())}};
    const std::string form = "csrf=" + token +
                             "&b1=02&b2=00&b3=00&b4=00&b5=00&b6=2a&name=Pit+lane"
                             "&enabled=1&fieldorvo=1";

    // Without the page's token nothing changes.
    auto forged = Http().Post("/access/add", page, "csrf=x" + form.substr(5 + token.size()),
                              "application/x-www-form-urlencoded");
    ASSERT_TRUE(forged);
    EXPECT_EQ(forged->status, 403);

    auto added = Http().Post("/access/add", page, form, "application/x-www-form-urlencoded");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->status, 200) << added->body;
    auto list = Http().Get("/access");
    ASSERT_TRUE(list);
    EXPECT_NE(list->body.find("02:00:00:00:00:2A"), std::string::npos) << list->body;
    EXPECT_NE(list->body.find("Pit lane"), std::string::npos);
    // The list on disk, which a restart reads.
    EXPECT_TRUE(WaitUntil([&] { return !ReadFile(d_.ConfigDir() + "/KestromMAC.dat").empty(); }));
    ASSERT_EQ(d_.Stop(), 0);
    ASSERT_TRUE(d_.Start());
    // Standard output is kept across the restart: the second announcement.
    ASSERT_TRUE(d_.WaitForLog("Operator console at", 2));
    auto again = Http().Get("/access");
    ASSERT_TRUE(again);
    EXPECT_NE(again->body.find("02:00:00:00:00:2A"), std::string::npos) << again->body;
}

}  // namespace
}  // namespace kestrom::testing
