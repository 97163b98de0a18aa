#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <atomic>
#include <thread>

#include "app/Server.h"
#include "fileio/TextConvert.h"
#include "net/MessageFramer.h"
#include "support/Fakes.h"
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
    EXPECT_EQ(op.lines[0].level, kLogError);
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
    const std::string junk(kReceiveBufferLimitBytes + 1, 'A');
    ASSERT_TRUE(c->SendBytes(junk));
    // The ping must not share a read with the junk that crosses the limit.
    ASSERT_TRUE(WaitFor([&] { return !op.Texts().empty(); }));
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    auto reply = c->ReceiveReply(10s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->code, u"HMM");
    std::lock_guard lock(op.mutex);
    ASSERT_GE(op.lines.size(), 2u);
    EXPECT_EQ(op.lines.front().level, kLogError);
    EXPECT_NE(op.lines.front().text.find(u"4 MB"), std::u16string::npos);
    EXPECT_EQ(op.lines.back().text, u"Wenlow Ping");
}

}  // namespace
}  // namespace kestrom
