// The server's listener with the real handler: admission and dispatch behind the network
// layer, and the line a listener that cannot start leaves.
#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>

#include "base/TextConvert.h"
#include "server/Server.h"
#include "support/fakes.h"
#include "support/wait.h"
#include "tools/ClientConnection.h"

namespace kestrom::testing {
namespace {

using client::CClientConnection;

struct ServerListening : ::testing::Test {
    CRecordingOperator op;
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
    std::unique_ptr<CClientConnection> Connect(WireMode mode = WireMode::kSingleByte) {
        return CClientConnection::Connect("127.0.0.1", server.ListeningPort(), mode);
    }
};

TEST_F(ServerListening, PingIsAnsweredInBothModes) {
    Start(0);
    auto c = Connect();
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->SendText(BuildRequest(u"HAL")));
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, "\x01HMM,PSZ=3\x02\x03\x04");

    server.Settings().Update([](CKestromSettings& s) { s.CharMode = 1; });
    auto wide = Connect(WireMode::kUnicode);
    ASSERT_TRUE(wide->SendText(BuildRequest(u"HFL")));
    reply = wide->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, Encode(u"\x01HMM,PSZ=3\x02\x03\x04", WireMode::kUnicode));
    // Both went through dispatch (the loopback MAC notices between them aside).
    const auto pings = [&] {
        std::vector<std::u16string> out;
        for (const auto& t : op.Texts())
            if (t.ends_with(u" Ping")) out.push_back(t);
        return out;
    };
    EXPECT_TRUE(WaitUntil([&] { return pings().size() == 2; }));
    EXPECT_EQ(pings(), (std::vector<std::u16string>{u"Wenlow Ping", u"FieldOrvo Ping"}));
}

TEST_F(ServerListening, AdmissionDecidesBeforeDispatch) {
    // With security on and an empty access list, a guarded product from an address other
    // than 127.0.0.1 (which is let through with a notice) is refused.
    server.Settings().Update([](CKestromSettings& s) {
        s.SecurityEnabled = true;
        s.FieldOrvoSecurityEnabled = true;
    });
    Start(0);
    auto c = CClientConnection::Connect("127.0.0.1", server.ListeningPort(), WireMode::kSingleByte,
                                        5s, "127.0.0.2");
    ASSERT_TRUE(c);
    ASSERT_TRUE(c->SendText(BuildRequest(u"HFL")));
    auto reply = c->ReceiveReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->bytes, "\x01TCC,PSZ=3\x02\x03\x04");
    EXPECT_FALSE(WaitUntil(
        [&] { return !op.Texts().empty() && op.Texts().back() == u"FieldOrvo Ping"; }, 200ms));
}

TEST_F(ServerListening, PortInUseIsLoggedWithThePortAndTheReason) {
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

}  // namespace
}  // namespace kestrom::testing
