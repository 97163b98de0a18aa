#pragma once
// The socket of one client connection: reads, frames, hands complete messages to the handler
// and sends the replies. Used only by its own connection thread, except Shutdown and the
// activity queries the listener makes.
#include <asio/ip/tcp.hpp>
#include <atomic>
#include <chrono>
#include <string>

#include "core/OperatorInterface.h"
#include "net/LogThrottle.h"
#include "net/MessageFramer.h"
#include "net/MessageHandler.h"

namespace kestrom {

// What every connection shares with the listener that accepted it.
struct CConnectionShared {
    COperatorInterface& op;
    CMessageHandler& handler;
    CFrameLimits frameLimits;
    CMemoryBudget& receiveBudget;
    CMemoryBudget& replyBudget;
    std::chrono::milliseconds messageStall{30000};
    std::chrono::milliseconds sendTimeout{30000};
    int keepAliveSeconds = 60;
    // Lines a flood of connections could repeat.
    CLogThrottle& discardLog;
    CLogThrottle& sendTimeoutLog;
    CLogThrottle& replyBudgetLog;
};

// The peer's IPv4 address as text (IPv4-mapped IPv6 addresses as IPv4); empty when unknown.
std::u16string PeerAddressText(const asio::ip::tcp::socket& socket);

// How long storage kept from a served large message waits for the connection's next one.
inline constexpr std::chrono::milliseconds kSpareStorageIdle{1000};

class CConnectSocket : public CReplyChannel {
  public:
    using Clock = std::chrono::steady_clock;

    CConnectSocket(asio::ip::tcp::socket socket, CConnectionShared& shared);

    // Serves messages until the peer closes the connection, a read or send fails or
    // Shutdown is called.
    void Run();
    // Callable from any thread: wakes a blocked read or send so that Run returns.
    void Shutdown();

    // The whole text in as few sends as possible, partial sends completed. Returns the bytes
    // sent, or -1 when the connection failed; a send that makes no progress for the send
    // timeout closes the connection.
    int SendText(std::u16string_view text, bool singleByte) override;
    int SendBytes(std::string_view bytes) override;
    bool HoldReplyMemory(size_t bytes, CBudgetHold& hold) override;
    void Abort() override {
        failed_ = true;
        Shutdown();
    }

    const std::u16string& PeerIpText() const { return peerIp_; }
    // When bytes last came in or a reply went out.
    Clock::time_point LastActivity() const {
        return Clock::time_point(Clock::duration(lastActivity_.load(std::memory_order_relaxed)));
    }
    // True while a message is being served.
    bool Serving() const { return serving_.load(std::memory_order_relaxed); }

  private:
    void OnReceive(std::string_view bytes);
    void Touch() {
        lastActivity_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }
    void LogThrottled(CLogThrottle& throttle, std::u16string_view line);
    // Waits up to `wait` for bytes: false when none came in time.
    bool WaitForMore(std::chrono::milliseconds wait);

    asio::ip::tcp::socket socket_;
    CConnectionShared& shared_;
    CMessageFramer framer_;
    std::u16string peerIp_;
    // One for the whole connection; it takes the settings afresh for every read.
    std::unique_ptr<CConnectionHandler> handler_;
    WireMode sendMode_ = WireMode::kSingleByte;  // of the message being served
    bool failed_ = false;  // a send failed or timed out: the connection is over
    std::atomic<Clock::rep> lastActivity_{0};
    std::atomic<bool> serving_{false};
};

}  // namespace kestrom
