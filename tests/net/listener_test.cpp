#include <gtest/gtest.h>
#include <sys/resource.h>

#include <asio/ip/tcp.hpp>
#include <atomic>
#include <thread>

#include "base/TextConvert.h"
#include "net/ListeningSocket.h"
#include "net/MessageFramer.h"
#include "server/Server.h"
#include "support/fakes.h"
#include "tools/ClientConnection.h"

namespace kestrom {
namespace {

using namespace std::chrono_literals;
using client::BuildRequest;
using client::CClientConnection;

// Counts connections safely across connection threads.
struct CountingOperator : testing::CRecordingOperator {
    void ConnectionOpened() override { ++opened; }
    void ConnectionClosed() override { ++closed; }
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
};

bool WaitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

struct ListenerFixture : ::testing::Test {
    CountingOperator op;
    CKestromServer server{op};

    void SetUp() override {
        server.Settings().Update([](CKestromSettings& s) {
            s.PortNumber = 0;
            s.LogEvents = true;
        });
    }
    void Start(int charMode) {
        server.Settings().Update([charMode](CKestromSettings& s) { s.CharMode = charMode; });
        ASSERT_TRUE(server.StartListening());
        ASSERT_GT(server.ListeningPort(), 0);
    }
    std::unique_ptr<CClientConnection> Connect(int charMode = 0) {
        return CClientConnection::Connect("127.0.0.1", server.ListeningPort(), charMode);
    }
};

TEST_F(ListenerFixture, PingIsAnsweredInBothModes) {
    Start(0);
    auto c = Connect(0);
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, "\x01HMM,PSZ=3\x02\x03\x04");

    server.Settings().Update([](CKestromSettings& s) { s.CharMode = 1; });
    auto wide = Connect(1);
    ASSERT_TRUE(wide->SendText(BuildRequest(u"HFL")));
    reply = wide->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, client::EncodeText(u"\x01HMM,PSZ=3\x02\x03\x04", 1));
}

TEST_F(ListenerFixture, OddByteSplitsInUnicodeModeKeepTheStream) {
    Start(1);
    auto c = Connect(1);
    const std::string bytes = client::EncodeText(BuildRequest(u"HCL"), 1);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        ASSERT_TRUE(c->SendBytes(bytes.substr(i, 3)));
        std::this_thread::sleep_for(20ms);  // separate reads on the server
    }
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
}

TEST_F(ListenerFixture, ConnectionsAreCountedAndStopEndsThemAll) {
    Start(0);
    auto first = Connect();
    auto second = Connect();
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(WaitFor([&] { return op.opened == 2; }));
    first->Close();
    ASSERT_TRUE(WaitFor([&] { return op.closed == 1; }));
    EXPECT_EQ(op.opened, 2);

    server.StopListening();  // the second client never closed: its thread is ended and joined
    EXPECT_EQ(op.closed, 2);
    EXPECT_FALSE(server.IsListening());
    EXPECT_TRUE(second->PeerClosed(2s));
}

TEST_F(ListenerFixture, IdleAndTricklingClientsDoNotHoldUpOthers) {
    Start(0);
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
}

TEST_F(ListenerFixture, PortInUseIsLoggedWithThePortAndTheReason) {
    asio::io_context io;
    asio::ip::tcp::acceptor blocker(io, asio::ip::tcp::endpoint(asio::ip::tcp::v4(), 0));
    const int port = blocker.local_endpoint().port();
    server.Settings().Update([port](CKestromSettings& s) { s.PortNumber = port; });
    EXPECT_FALSE(server.StartListening());
    EXPECT_FALSE(server.IsListening());
    ASSERT_EQ(op.lines.size(), 1u);
    EXPECT_EQ(op.lines[0].level, LogLevel::kError);
    const std::u16string text = op.lines[0].text;
    EXPECT_NE(text.find(u"PORT " + std::u16string(U16(std::to_string(port)))), std::u16string::npos)
        << std::string(text.begin(), text.end());
    EXPECT_GT(text.size(), 30u);  // the reason follows
}

TEST_F(ListenerFixture, BufferSizesAreAppliedOnlyWhenPositive) {
    Start(0);
    const int systemReceive = server.ListenerReceiveBufferSize();
    const int systemSend = server.ListenerSendBufferSize();
    server.StopListening();
    server.Settings().Update([](CKestromSettings& s) {
        s.TCPReceiveBufferSize = 0;
        s.TCPSendBufferSize = -1;
    });
    Start(0);
    EXPECT_EQ(server.ListenerReceiveBufferSize(), systemReceive);
    EXPECT_EQ(server.ListenerSendBufferSize(), systemSend);
    server.StopListening();
    const int wanted = systemReceive * 2 + 4096;
    server.Settings().Update([wanted](CKestromSettings& s) {
        s.TCPReceiveBufferSize = wanted;
        s.TCPSendBufferSize = wanted;
    });
    Start(0);
    EXPECT_GE(server.ListenerReceiveBufferSize(), wanted);  // the system may round up
    EXPECT_GE(server.ListenerSendBufferSize(), wanted);
}

TEST_F(ListenerFixture, OversizedStreamIsDiscardedWithAnErrorLineAndTheConnectionGoesOn) {
    Start(0);
    auto c = Connect();
    const std::string junk(CNetLimits{}.RequestSizeLimit + 1, 'A');
    ASSERT_TRUE(c->SendBytes(junk));
    // The ping must not share a read with the junk that crosses the limit.
    ASSERT_TRUE(WaitFor([&] { return !op.Texts().empty(); }));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    auto reply = c->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    std::lock_guard lock(op.mutex);
    ASSERT_GE(op.lines.size(), 2u);
    EXPECT_EQ(op.lines.front().level, LogLevel::kError);
    EXPECT_NE(op.lines.front().text.find(u"RECEIVE BUFFER OVER 64 KB"), std::u16string::npos);
    EXPECT_EQ(op.lines.back().text, u"Wenlow Ping");
}

}  // namespace
}  // namespace kestrom

namespace kestrom {
namespace {

using namespace std::chrono_literals;
using client::BuildRequest;
using client::CClientConnection;

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

struct LimitedListener : ::testing::Test {
    CountingOperator op;
    CKestromServer server{op};

    void Start(const std::function<void(CNetLimits&)>& limits) {
        server.Settings().Update([&](CKestromSettings& s) {
            s.PortNumber = 0;
            s.LogEvents = true;
            limits(s.Limits);
        });
        ASSERT_TRUE(server.StartListening());
    }
    std::unique_ptr<CClientConnection> Connect() {
        return CClientConnection::Connect("127.0.0.1", server.ListeningPort(), 0);
    }
    bool Logged(std::u16string_view part) {
        return WaitFor([&] {
            for (const auto& t : op.Texts())
                if (t.find(part) != std::u16string::npos) return true;
            return false;
        });
    }
};

TEST_F(LimitedListener, AtTheCapANewDeviceIsAnsweredAndTheIdlestConnectionCloses) {
    Start([](CNetLimits& l) { l.MaxConnections = 3; });
    auto oldest = Connect();
    ASSERT_TRUE(WaitFor([&] { return op.opened == 1; }));
    std::vector<std::unique_ptr<CClientConnection>> others;
    for (int i = 0; i < 2; ++i) {
        others.push_back(Connect());
        ASSERT_TRUE(WaitFor([&] { return op.opened == 2 + i; }));
        // Each one has done something since the oldest did.
        ASSERT_TRUE(others.back()->SendText(BuildRequest(u"HAL")));
        ASSERT_TRUE(others.back()->ReceiveReply(10s));
    }
    auto newcomer = Connect();
    ASSERT_TRUE(newcomer->SendText(BuildRequest(u"HHW")));
    auto reply = newcomer->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    EXPECT_TRUE(oldest->PeerClosed(10s));
    EXPECT_TRUE(Logged(u"CONNECTION LIMIT OF 3 connections REACHED"));
    // The others were left alone.
    for (auto& c : others) {
        ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
        EXPECT_TRUE(c->ReceiveReply(10s));
    }
}

TEST_F(LimitedListener, AnUnfinishedMessageWithoutProgressIsDiscardedAndTheConnectionGoesOn) {
    Start([](CNetLimits& l) { l.MessageStallSeconds = 1; });
    auto c = Connect();
    ASSERT_TRUE(c->SendBytes("\x01HA"));
    EXPECT_TRUE(Logged(u"UNFINISHED MESSAGE OF 3 BYTES DISCARDED AFTER 1 s WITHOUT PROGRESS"));
    // Had the start been kept, this would complete "HA" + "HFL..." as an unknown code.
    ASSERT_TRUE(c->SendText(BuildRequest(u"HFL")));
    auto reply = c->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    EXPECT_TRUE(WaitFor([&] {
        for (const auto& t : op.Texts())
            if (t == u"FieldOrvo Ping") return true;
        return false;
    }));
}

TEST_F(LimitedListener, AnIdleConnectionThatBehavesIsNeverClosed) {
    Start([](CNetLimits& l) { l.MessageStallSeconds = 1; });
    auto c = Connect();
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    ASSERT_TRUE(c->ReceiveReply(10s));
    EXPECT_FALSE(c->PeerClosed(2500ms));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    EXPECT_TRUE(c->ReceiveReply(10s));
}

}  // namespace
}  // namespace kestrom
