#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/TextConvert.h"
#include "tools/LoadRunner.h"

namespace kestrom::client {
namespace {

using namespace std::string_literals;

std::string Wide(const std::string& narrow) {
    std::string out;
    for (char c : narrow) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(PercentileTest, NearestRank) {
    std::vector<std::uint32_t> v;
    EXPECT_EQ(0, Percentile(v, 0.5));
    for (std::uint32_t i = 1; i <= 100; ++i) v.push_back(i);
    EXPECT_EQ(50, Percentile(v, 0.50));
    EXPECT_EQ(99, Percentile(v, 0.99));
    EXPECT_EQ(100, Percentile(v, 1.0));
    EXPECT_EQ(1, Percentile({7}, 0.99) / 7);
}

TEST(ParseLoadRequestTest, WireBytesShapesAndWeights) {
    auto rfq = ParseLoadRequest("rfq:7,1,3", 0);
    ASSERT_TRUE(rfq) << ToUtf8(rfq.Status().Detail());
    EXPECT_EQ(
        "\x01RFQ\x02"
        "7,1,3\x03\x04"s,
        rfq->wire);
    EXPECT_EQ("RRP", rfq->expectedCode);
    EXPECT_EQ(1, rfq->weight);

    auto wide = ParseLoadRequest("3*ping:wenlow", 1);
    ASSERT_TRUE(wide) << ToUtf8(wide.Status().Detail());
    EXPECT_EQ(Wide("\x01HAL\x02\x03\x04"s), wide->wire);
    EXPECT_EQ(3, wide->weight);

    auto irq = ParseLoadRequest("irq:1,1,1", 1);
    ASSERT_TRUE(irq) << ToUtf8(irq.Status().Detail());
    EXPECT_EQ(ReplyShape::kImage, irq->shape);
    EXPECT_EQ(Wide("\x01IRQ\x02"
                   "1,1,1,00000001011970\x03\x04"s),
              irq->wire);

    auto drq = ParseLoadRequest("drq:I1,7,1,3,12000014112023", 0);
    ASSERT_TRUE(drq) << ToUtf8(drq.Status().Detail());
    EXPECT_EQ(
        "\x01"
        "DRQ\x02I1,7,1,3,12000014112023\x03\x04"s,
        drq->wire);

    // The schedule request is scrambled (+71) in single-byte mode only, as a device sends it.
    auto srq = ParseLoadRequest("srq:3,1,2,+", 0);
    ASSERT_TRUE(srq) << ToUtf8(srq.Status().Detail());
    EXPECT_EQ("\x01SRQ\x02zsxsysr\x03\x04"s, srq->wire);
    EXPECT_EQ("SRP", srq->expectedCode);
    srq = ParseLoadRequest("srq:3,1,2", 1);
    ASSERT_TRUE(srq) << ToUtf8(srq.Status().Detail());
    EXPECT_EQ(Wide("\x01SRQ\x02"
                   "3,1,2\x03\x04"s),
              srq->wire);

    for (const char* bad : {"rfq", "nope:1", "0*rfq:1,1,1", "x*ping", "ping:someone", "sls:x",
                            "sls:@/no/such/file", "srq", "rff:x", "rff:@/no/such/file"}) {
        const auto refused = ParseLoadRequest(bad, 0);
        EXPECT_FALSE(refused) << bad;
        EXPECT_FALSE(refused.Status().Detail().empty()) << bad;
    }
}

// A loopback server answering every message (one per read, as the real one) with one reply.
class FakeServer {
  public:
    explicit FakeServer(std::string reply) : reply_(std::move(reply)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a));
        EXPECT_EQ(0, ::listen(listener_, 64));
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] {
            for (;;) {
                const int fd = ::accept(listener_, nullptr, nullptr);
                if (fd < 0) return;
                ++accepted_;
                workers_.emplace_back([this, fd] {
                    char buffer[4096];
                    for (;;) {
                        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                        if (n <= 0) break;
                        ++messages_;
                        ::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
                    }
                    ::close(fd);
                });
            }
        });
    }
    ~FakeServer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        acceptor_.join();
        for (auto& t : workers_) t.join();
    }
    int Port() const { return port_; }
    int Accepted() const { return accepted_; }
    int Messages() const { return messages_; }

  private:
    std::string reply_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<int> messages_{0};
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

CLoadOptions OptionsFor(const FakeServer& server, int connections, std::uint64_t count) {
    CLoadOptions o;
    o.port = server.Port();
    o.connections = connections;
    o.count = count;
    o.duration = std::chrono::seconds(20);
    o.timeout = std::chrono::seconds(5);
    return o;
}

TEST(LoadRunnerTest, CountedRunOverSeveralConnections) {
    FakeServer server(
        "\x01RRP,PSZ=8\x02"
        "12345\x03\x04"s);
    auto rfq = ParseLoadRequest("rfq:1,1,1", 0);
    ASSERT_TRUE(rfq);
    CLoadRunner runner(OptionsFor(server, 5, 200), {*rfq});
    const CLoadReport report = runner.Run();
    EXPECT_EQ(5, report.connections);
    EXPECT_EQ(200u, report.requests);
    EXPECT_EQ(0u, report.errors);
    EXPECT_EQ(200u, report.replyCodes.at("RRP"));
    EXPECT_EQ(200u * 18, report.bytesReceived);  // 18 bytes a reply
    EXPECT_GT(report.p99Us, 0);
    EXPECT_LE(report.p50Us, report.p99Us);
    EXPECT_EQ(200, server.Messages());
}

TEST(LoadRunnerTest, FailureRepliesAndSilenceAreErrors) {
    auto rfq = ParseLoadRequest("rfq:1,1,1", 0);
    ASSERT_TRUE(rfq);
    {
        FakeServer server("\x01NLR,PSZ=3\x02\x03\x04"s);
        const CLoadReport report = CLoadRunner(OptionsFor(server, 2, 10), {*rfq}).Run();
        EXPECT_EQ(0u, report.requests);
        EXPECT_EQ(10u, report.errors);
        EXPECT_EQ(10u, report.errorKinds.at("unexpected NLR (empty)"));
    }
    {
        // Half a reply and then nothing: the wait ends at the timeout.
        FakeServer server(
            "\x01RRP,PSZ=8\x02"
            "12"s);
        auto options = OptionsFor(server, 1, 3);
        options.timeout = std::chrono::milliseconds(200);
        const CLoadReport report = CLoadRunner(options, {*rfq}).Run();
        EXPECT_EQ(0u, report.requests);
        EXPECT_EQ(1u, report.errors);  // the connection is given up after its timeout
        EXPECT_EQ(1u, report.errorKinds.at("timeout"));
    }
}

TEST(LoadRunnerTest, HoldOpensServesAndReports) {
    FakeServer server("\x01HMM,PSZ=3\x02\x03\x04"s);
    auto ping = ParseLoadRequest("ping:wenlow", 0);
    ASSERT_TRUE(ping);
    auto options = OptionsFor(server, 20, 0);
    options.hold = std::chrono::milliseconds(50);
    int seen = -1;
    const CLoadReport report = CLoadRunner(options, {*ping}).Hold([&](int open) { seen = open; });
    EXPECT_EQ(20, seen);
    EXPECT_EQ(20, report.connections);
    EXPECT_EQ(20u, report.requests);
    EXPECT_EQ(0u, report.errors);
    EXPECT_EQ(20, server.Accepted());
}

}  // namespace
}  // namespace kestrom::client
