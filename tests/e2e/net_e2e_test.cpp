// The daemon on the wire: pings, framing, the reply writer, many clients, signals, instances.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "e2e/daemon_harness.h"

namespace kestrom::testing {
namespace {

std::string Scrambled(std::string_view text) {
    std::string out;
    for (char c : text) out += static_cast<char>(c + 71);
    return out;
}

const std::string kEmptyHmm = "\x01HMM,PSZ=3\x02\x03\x04";

TEST(DaemonPing, AllFourProductsInSingleByteMode) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running()) << d.Stderr() << d.Stdout();
    const std::string scrambled = "\x01HMM,PSZ=16\x02" + Scrambled("Kestrom v3.23") + "\x03\x04";
    for (auto [code, expected] : {std::pair{u"HFL", scrambled},
                                  {u"HCL", scrambled},
                                  {u"HAL", kEmptyHmm},
                                  {u"HHW", kEmptyHmm}}) {
        const auto reply = d.Request(BuildRequest(code));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes, expected);
    }
    EXPECT_TRUE(d.WaitForLog("Hy-Wire Ping"));
    // The window's line format: month/day/year time, three blanks, the message.
    const std::regex line(R"((^|\n)\d\d/\d\d/\d{4} \d\d:\d\d:\d\d   FieldOrvo Ping\n)");
    EXPECT_TRUE(std::regex_search(d.Stdout(), line)) << d.Stdout();
}

TEST(DaemonPing, AllFourProductsInUnicodeModeAreEmpty) {
    CDaemonHarness d(
        {.charMode = 1, .start = true, .extraArgs = {}, .runtimeDir = {}, .configDir = {}});
    ASSERT_TRUE(d.Running());
    for (auto code : {u"HFL", u"HCL", u"HAL", u"HHWX"}) {
        const auto reply = d.Request(BuildRequest(code));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes, Encode(u"\x01HMM,PSZ=3\x02\x03\x04", WireMode::kUnicode));
    }
}

TEST(DaemonFraming, SplitMessagesTwoInOneSendNulAndIgnoredCodes) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    auto c = d.Connect();
    ASSERT_TRUE(c);
    // Unknown code and the reply codes get nothing: the next reply on the line is the ping's.
    ASSERT_TRUE(c->SendText(BuildRequest(u"XYZ")));
    ASSERT_TRUE(c->SendText(BuildRequest(u"ROK")));
    ASSERT_TRUE(c->SendText(BuildRequest(u"NOK")));
    EXPECT_EQ(c->ReceiveAvailable(300ms), "");
    // A message in three sends.
    for (std::string_view part : {"\x01H", "A", "L\x02\x03\x04"}) {
        ASSERT_TRUE(c->SendBytes(part));
        std::this_thread::sleep_for(50ms);
    }
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, kEmptyHmm);
    // Two messages in one send: the first is answered, the second is lost with it.
    ASSERT_TRUE(c->SendBytes("\x01HAL\x02\x03\x04\x01HFL\x02\x03\x04"));
    reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, kEmptyHmm);
    EXPECT_EQ(c->ReceiveAvailable(300ms), "");
    // A NUL drops the rest of its read; the message completes with the next one.
    ASSERT_TRUE(c->SendBytes(std::string("\x01HAL\x02\0\x03\x04", 8)));
    EXPECT_EQ(c->ReceiveAvailable(300ms), "");
    ASSERT_TRUE(c->SendBytes("\x03\x04"));
    reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, kEmptyHmm);
    // A leading EOT does not wedge the connection.
    ASSERT_TRUE(c->SendBytes("\x04"));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(c->SendText(BuildRequest(u"HHW")));
    EXPECT_TRUE(c->ReceiveReply());
}

TEST(DaemonFraming, IncompleteResultsRequestGetsTheExactNlrFrame) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    auto c = d.Connect();
    ASSERT_TRUE(
        c->SendBytes("\x01RFQ\x02"
                     "1,1,1\x04"));
    const auto bytes = c->ReceiveBytes(13);
    ASSERT_TRUE(bytes) << "got " << c->LastBytes().size() << " bytes";
    EXPECT_EQ(*bytes, "\x01\x4E\x4C\x52\x2C\x50\x53\x5A\x3D\x33\x02\x03\x04");
}

TEST(DaemonFraming, StreamPastTheRequestBoundIsDiscardedAndTheConnectionGoesOn) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    auto c = d.Connect();
    ASSERT_TRUE(c->SendBytes(std::string(64 * 1024 + 1, 'A')));
    ASSERT_TRUE(d.WaitForLog("RECEIVE BUFFER OVER 64 KB", 20s));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    const auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, kEmptyHmm);
}

// The listen backlog is small by design, so 200 connects at once overflow it and the system
// drops SYNs; its own retries back off to many seconds on a loaded machine (and under the
// sanitizer builds). Each attempt here is short and a new one follows at once, all within
// one deadline for the whole test.
std::unique_ptr<CClientConnection> ConnectBefore(int port,
                                                 std::chrono::steady_clock::time_point deadline) {
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto c = CClientConnection::Connect("127.0.0.1", port, WireMode::kSingleByte, 2s))
            return c;
        std::this_thread::sleep_for(50ms);
    }
    return nullptr;
}

TEST(DaemonLoad, SlowClientsDoNotHoldUpTwoHundredBusyOnes) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    auto idle = d.Connect();
    auto trickle = d.Connect();
    ASSERT_TRUE(idle && trickle);
    std::atomic<bool> stop{false};
    std::thread trickler([&] {
        for (const char b : std::string("\x01HAL\x02\x03\x04")) {
            if (stop) return;
            trickle->SendBytes(std::string(1, b));
            std::this_thread::sleep_for(1s);
        }
    });

    constexpr int kClients = 200, kPings = 10;
    const auto deadline = std::chrono::steady_clock::now() + 150s;
    std::atomic<int> answered{0}, unconnected{0}, reconnects{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&] {
            int done = 0;
            while (done < kPings) {
                auto c = ConnectBefore(d.Port(), deadline);
                if (!c) {
                    ++unconnected;
                    return;
                }
                for (; done < kPings; ++done) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now());
                    // A connection the client saw complete while the server's backlog was full
                    // may never be accepted (the system drops the handshake's last step): it is
                    // tried afresh while it has had no reply. Once served, any failure counts.
                    const auto wait = done == 0 ? std::min(left, 10000ms) : left;
                    const bool sent = c->SendText(BuildRequest(u"HCL"));
                    const auto reply =
                        sent ? c->ReceiveReply(std::max(wait, 1000ms)) : std::nullopt;
                    if (!reply && done == 0 && std::chrono::steady_clock::now() < deadline) {
                        ++reconnects;
                        break;
                    }
                    if (!reply || reply->size != 16) return;
                    ++answered;
                }
            }
        });
    }
    for (auto& t : clients) t.join();
    stop = true;
    trickler.join();
    EXPECT_EQ(unconnected, 0);
    EXPECT_EQ(answered, kClients * kPings) << reconnects << " connections tried afresh";
    // The idle connection was held open all along and is still served.
    ASSERT_TRUE(idle->SendText(BuildRequest(u"HCL")));
    const auto reply = idle->ReceiveReply(20s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size, 16);
}

TEST(DaemonLifecycle, SigtermSavesTheSettingsAndExitsZero) {
    CDaemonHarness d;
    ASSERT_TRUE(d.Running());
    EXPECT_EQ(d.Stop(), 0);
    const std::string settings = ReadFile(d.ConfigDir() + "/settings.reg");
    EXPECT_NE(settings.find("\"PortNumber\"=\"" + std::to_string(d.Port()) + "\""),
              std::string::npos)
        << settings;
    EXPECT_NE(settings.find("\"CharMode\"=\"0\""), std::string::npos);
    EXPECT_NE(settings.find(d.EventDir().substr(d.EventDir().rfind('/') + 1)), std::string::npos);
}

TEST(DaemonLifecycle, SecondInstanceIsRefusedAndTheFirstKeepsServing) {
    CDaemonHarness first;
    ASSERT_TRUE(first.Running());
    // A second start of the same installation: the same user session and settings.
    CDaemonHarness second({.charMode = 0,
                           .start = false,
                           .extraArgs = {},
                           .runtimeDir = first.RuntimeDir(),
                           .configDir = first.ConfigDir()});
    EXPECT_FALSE(second.Start());
    EXPECT_NE(second.WaitExit(), std::optional<int>(0));
    EXPECT_NE(second.Stderr().find("A running version of Kestrom has been detected."),
              std::string::npos)
        << second.Stderr();
    EXPECT_TRUE(first.Request(BuildRequest(u"HAL")));
}

}  // namespace
}  // namespace kestrom::testing
