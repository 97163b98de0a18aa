// The listener and its connections with a stand-in handler: framing by character mode,
// connection counting and limits, stalls and oversized messages, and the log lines they give.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <asio/ip/tcp.hpp>
#include <atomic>
#include <thread>

#include "base/TextConvert.h"
#include "net/ListeningSocket.h"
#include "net/MessageFramer.h"
#include "support/fakes.h"
#include "support/wait.h"
#include "tools/ClientConnection.h"

namespace kestrom {
namespace {

using namespace std::chrono_literals;
using client::CClientConnection;
using testing::WaitUntil;

// Counts connections safely across connection threads.
struct CountingOperator : testing::CRecordingOperator {
    void ConnectionOpened() override { ++opened; }
    void ConnectionClosed() override { ++closed; }
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
};

// A listener on a port the system picks, serving through the echo handler.
struct ListenerFixture : ::testing::Test {
    CountingOperator op;
    testing::CEchoHandler handler;
    CListeningSocket listener{op, handler};

    void Start(WireMode mode = WireMode::kSingleByte, const CNetLimits& limits = {},
               int sendBufferSize = 0, int receiveBufferSize = 0) {
        handler.mode = mode;
        const CStatus listening = listener.Create(0, sendBufferSize, receiveBufferSize, limits);
        ASSERT_TRUE(listening) << ToUtf8(listening.Detail());
        ASSERT_GT(listener.Port(), 0);
    }
    std::unique_ptr<CClientConnection> Connect(WireMode mode = WireMode::kSingleByte) {
        return CClientConnection::Connect("127.0.0.1", listener.Port(), mode);
    }
    bool Logged(std::u16string_view part) {
        return WaitUntil([&] {
            for (const auto& t : op.Texts())
                if (t.find(part) != std::u16string::npos) return true;
            return false;
        });
    }
    bool Served(std::u16string_view message) {
        return WaitUntil([&] {
            for (const auto& m : handler.Messages())
                if (m == message) return true;
            return false;
        });
    }
};

TEST_F(ListenerFixture, EachModeFramesRequestsAndSendsRepliesInItsOwnWidth) {
    Start(WireMode::kSingleByte);
    auto c = Connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, "\x01HAL,PSZ=3\x02\x03\x04");
    EXPECT_EQ(handler.Messages(), std::vector<std::u16string>{BuildRequest(u"HAL")});
    EXPECT_EQ(handler.peers, std::vector<std::u16string>{u"127.0.0.1"});

    // The mode is taken afresh for every read, so a change reaches open connections too.
    handler.mode = WireMode::kUnicode;
    auto wide = Connect(WireMode::kUnicode);
    ASSERT_TRUE(wide->SendText(BuildRequest(u"HFL")));
    reply = wide->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, std::string("\x01\0H\0F\0L\0,\0P\0S\0Z\0=\0"
                                        "3\0\x02\0\x03\0\x04\0",
                                        26));
}

TEST_F(ListenerFixture, OddByteSplitsInUnicodeModeKeepTheStream) {
    Start(WireMode::kUnicode);
    auto c = Connect(WireMode::kUnicode);
    const std::string bytes = Encode(BuildRequest(u"HCL"), WireMode::kUnicode);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        ASSERT_TRUE(c->SendBytes(bytes.substr(i, 3)));
        // Nothing answers a part; the wait also keeps the parts in separate reads.
        if (i + 3 < bytes.size()) {
            EXPECT_EQ(c->ReceiveAvailable(20ms), "");
        }
    }
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HCL");
    EXPECT_EQ(handler.Messages(), std::vector<std::u16string>{BuildRequest(u"HCL")});
}

TEST_F(ListenerFixture, ConnectionsAreCountedAndCloseEndsThemAll) {
    Start();
    auto first = Connect();
    auto second = Connect();
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(WaitUntil([&] { return op.opened == 2; }));
    first->Close();
    ASSERT_TRUE(WaitUntil([&] { return op.closed == 1; }));
    EXPECT_EQ(op.opened, 2);
    // Served once, so its thread has sent a reply and waits in a read for the next message.
    ASSERT_TRUE(second->SendText(BuildRequest(u"HCL")));
    ASSERT_TRUE(second->ReceiveReply());

    listener.Close();  // the second client never closed: its thread is ended and joined
    EXPECT_EQ(op.closed, 2);
    EXPECT_EQ(listener.ThreadCount(), 0u);
    EXPECT_TRUE(second->PeerClosed(2s));
}

TEST_F(ListenerFixture, IdleAndTricklingClientsDoNotHoldUpOthers) {
    Start();
    auto idle = Connect();
    auto trickle = Connect();
    ASSERT_TRUE(trickle->SendBytes("\x01H"));
    for (int i = 0; i < 5; ++i) {
        auto c = Connect();
        ASSERT_TRUE(c->SendText(BuildRequest(u"HHW")));
        ASSERT_TRUE(c->ReceiveReply(2s)) << i;
    }
    ASSERT_TRUE(trickle->SendBytes("HW\x02\x03\x04"));
    EXPECT_TRUE(trickle->ReceiveReply(2s));
    EXPECT_TRUE(Served(BuildRequest(u"HHW")));
}

TEST_F(ListenerFixture, BufferSizesAreAppliedOnlyWhenPositive) {
    Start(WireMode::kSingleByte, {}, 0, 0);
    const int systemReceive = listener.ReceiveBufferSize();
    const int systemSend = listener.SendBufferSize();
    listener.Close();
    Start(WireMode::kSingleByte, {}, -1, 0);
    EXPECT_EQ(listener.ReceiveBufferSize(), systemReceive);
    EXPECT_EQ(listener.SendBufferSize(), systemSend);
    listener.Close();
    const int wanted = systemReceive * 2 + 4096;
    Start(WireMode::kSingleByte, {}, wanted, wanted);
    EXPECT_GE(listener.ReceiveBufferSize(), wanted);  // the system may round up
    EXPECT_GE(listener.SendBufferSize(), wanted);
}

TEST_F(ListenerFixture, OversizedStreamIsDiscardedWithAnErrorLineAndTheConnectionGoesOn) {
    Start();
    auto c = Connect();
    const std::string junk(CNetLimits{}.RequestSizeLimit + 1, 'A');
    ASSERT_TRUE(c->SendBytes(junk));
    // The ping must not share a read with the junk that crosses the limit.
    ASSERT_TRUE(WaitUntil([&] { return !op.Texts().empty(); }));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    auto reply = c->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HAL");
    // Nothing of the junk went to the handler: the ping arrived as a message of its own.
    EXPECT_EQ(handler.Messages(), std::vector<std::u16string>{BuildRequest(u"HAL")});
    std::lock_guard lock(op.mutex);
    ASSERT_EQ(op.lines.size(), 1u);
    EXPECT_EQ(op.lines.front().level, LogLevel::kError);
    EXPECT_NE(op.lines.front().text.find(u"RECEIVE BUFFER OVER 64 KB WITHOUT END OF MESSAGE"),
              std::u16string::npos);
}

CConnectionView View(std::u16string_view peer, int idleSeconds, bool serving = false) {
    const auto now = CConnectSocket::Clock::now();
    return {peer, now - std::chrono::seconds(idleSeconds), serving};
}

TEST(ConnectionAdmission, BelowTheCapsEveryConnectionIsTakenAndNoneIsClosed) {
    const std::vector<CConnectionView> live{View(u"10.0.0.5", 900), View(u"10.0.0.6", 5)};
    const auto d = DecideAdmission(live, u"10.0.0.5", 3, 2);
    EXPECT_EQ(d.action, CAdmitDecision::kAccept);
}

TEST(ConnectionAdmission, AtTheTotalCapTheLongestIdleThatIsNotBeingServedMakesRoom) {
    const std::vector<CConnectionView> live{View(u"10.0.0.5", 30), View(u"10.0.0.6", 600, true),
                                            View(u"10.0.0.7", 300), View(u"10.0.0.8", 1)};
    auto d = DecideAdmission(live, u"10.0.0.9", 4, 8);
    ASSERT_EQ(d.action, CAdmitDecision::kEvict);
    EXPECT_EQ(d.victim, 2u);  // 10.0.0.6 is idler but in the middle of a request
    EXPECT_FALSE(d.perAddress);

    const std::vector<CConnectionView> busy{View(u"10.0.0.5", 30, true),
                                            View(u"10.0.0.6", 60, true)};
    d = DecideAdmission(busy, u"10.0.0.9", 2, 8);
    EXPECT_EQ(d.action, CAdmitDecision::kRefuse);
}

TEST(ConnectionAdmission, AnAddressAtItsOwnCapGivesUpItsOwnIdlestNotAnotherDevices) {
    const std::vector<CConnectionView> live{View(u"10.0.0.5", 900), View(u"10.0.0.6", 40),
                                            View(u"10.0.0.6", 20), View(u"10.0.0.6", 10, true)};
    auto d = DecideAdmission(live, u"10.0.0.6", 100, 3);
    ASSERT_EQ(d.action, CAdmitDecision::kEvict);
    EXPECT_TRUE(d.perAddress);
    EXPECT_EQ(d.victim, 1u);

    const std::vector<CConnectionView> allBusy{View(u"10.0.0.6", 40, true)};
    d = DecideAdmission(allBusy, u"10.0.0.6", 100, 1);
    EXPECT_EQ(d.action, CAdmitDecision::kRefuse);
    EXPECT_TRUE(d.perAddress);
}

TEST(ConnectionAdmission, LoopbackHasNoPerAddressCap) {
    const std::vector<CConnectionView> live{View(u"127.0.0.1", 40), View(u"127.0.0.1", 20)};
    EXPECT_EQ(DecideAdmission(live, u"127.0.0.1", 100, 1).action, CAdmitDecision::kAccept);
    EXPECT_TRUE(IsLoopbackPeer(u"127.0.0.2"));
    EXPECT_TRUE(IsLoopbackPeer(u"::1"));
    EXPECT_FALSE(IsLoopbackPeer(u"10.127.0.1"));
}

// Linux: sockets count against the descriptor limit (Windows has none).
#ifndef _WIN32
TEST(ConnectionAdmission, TheCapLeavesTheDescriptorReserveFree) {
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const size_t cap = ConnectionCapForDescriptors(1000000, 256);
    rlimit after{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, after.rlim_max);  // the soft limit was raised to the hard one
    if (after.rlim_cur != RLIM_INFINITY) {
        EXPECT_EQ(cap, static_cast<size_t>(after.rlim_cur) - 256);
    }
    EXPECT_EQ(ConnectionCapForDescriptors(10, 256), 10u);
}
#endif

using LimitedListener = ListenerFixture;

TEST_F(LimitedListener, AtTheCapANewDeviceIsAnsweredAndTheIdlestConnectionCloses) {
    CNetLimits limits;
    limits.MaxConnections = 3;
    Start(WireMode::kSingleByte, limits);
    auto oldest = Connect();
    ASSERT_TRUE(WaitUntil([&] { return op.opened == 1; }));
    std::vector<std::unique_ptr<CClientConnection>> others;
    for (int i = 0; i < 2; ++i) {
        others.push_back(Connect());
        ASSERT_TRUE(WaitUntil([&] { return op.opened == 2 + i; }));
        // Each one has done something since the oldest did.
        ASSERT_TRUE(others.back()->SendText(BuildRequest(u"HAL")));
        ASSERT_TRUE(others.back()->ReceiveReply(10s));
    }
    auto newcomer = Connect();
    ASSERT_TRUE(newcomer->SendText(BuildRequest(u"HHW")));
    auto reply = newcomer->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HHW");
    EXPECT_TRUE(oldest->PeerClosed(10s));
    EXPECT_TRUE(Logged(u"CONNECTION LIMIT OF 3 connections REACHED"));
    // The others were left alone.
    for (auto& c : others) {
        ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
        EXPECT_TRUE(c->ReceiveReply(10s));
    }
}

TEST_F(LimitedListener, AnUnfinishedMessageWithoutProgressIsDiscardedAndTheConnectionGoesOn) {
    CNetLimits limits;
    limits.MessageStallSeconds = 1;
    Start(WireMode::kSingleByte, limits);
    auto c = Connect();
    ASSERT_TRUE(c->SendBytes("\x01HA"));
    EXPECT_TRUE(Logged(u"UNFINISHED MESSAGE OF 3 BYTES DISCARDED AFTER 1 s WITHOUT PROGRESS"));
    // Had the start been kept, this would complete "HA" + "HFL..." as an unknown code.
    ASSERT_TRUE(c->SendText(BuildRequest(u"HFL")));
    auto reply = c->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HFL");
    EXPECT_EQ(handler.Messages(), std::vector<std::u16string>{BuildRequest(u"HFL")});
}

TEST_F(LimitedListener, AnIdleConnectionThatBehavesIsNeverClosed) {
    CNetLimits limits;
    limits.MessageStallSeconds = 1;
    Start(WireMode::kSingleByte, limits);
    auto c = Connect();
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    ASSERT_TRUE(c->ReceiveReply(10s));
    EXPECT_FALSE(c->PeerClosed(2500ms));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    EXPECT_TRUE(c->ReceiveReply(10s));
}

TEST_F(LimitedListener, LargeMessageStorageIsKeptForTheNextAndGivenBackWhenTheDeviceIsQuiet) {
    Start(WireMode::kSingleByte);
    auto c = Connect();
    const std::u16string upload = BuildRequest(u"RFF", std::u16string(1536 * 1024, u'x'));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(c->SendText(upload));
        auto reply = c->ReceiveReply(10s);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->code, u"RFF");
        // Served, and its storage (two bytes a character) still held for the next one.
        EXPECT_GE(listener.ReceiveMemoryHeld(), 2 * upload.size());
    }
    // A second without bytes gives it back; the connection goes on.
    EXPECT_TRUE(WaitUntil([&] { return listener.ReceiveMemoryHeld() == 0; }));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    EXPECT_TRUE(c->ReceiveReply(10s));
    EXPECT_EQ(handler.Messages().size(), 3u);
}

}  // namespace
}  // namespace kestrom
