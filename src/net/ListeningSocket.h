#pragma once
// The listening socket: accepts on its own thread and gives every connection a thread.
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "base/Status.h"
#include "core/Settings.h"
#include "net/ConnectThread.h"
#include "net/Platform.h"

namespace kestrom {

// What the listener knows of a connection when it decides on a new one.
struct CConnectionView {
    std::u16string_view peer;
    CConnectSocket::Clock::time_point lastActivity;
    bool serving = false;
};

// What to do with a new connection from `peer`, given the connections already served: take
// it, take it after closing the one at `victim` (the longest idle that is not being served,
// among the peer's own when the peer is at its own cap), or refuse it when nothing can go.
struct CAdmitDecision {
    enum Action { kAccept, kEvict, kRefuse } action = kAccept;
    size_t victim = 0;
    bool perAddress = false;  // the peer's own cap decided
};
CAdmitDecision DecideAdmission(std::span<const CConnectionView> live, std::u16string_view peer,
                               size_t totalCap, size_t perAddressCap);

// Loopback peers share one address by nature (local tools, benchmarks): no per-address cap.
bool IsLoopbackPeer(std::u16string_view peer);

// The connections that fit beside `reserve` descriptors kept for file work, at most `wanted`;
// raises the soft descriptor limit to the hard one first.
size_t ConnectionCapForDescriptors(size_t wanted, size_t reserve);

// A backlog of 5 let a burst of reconnecting devices overflow the accept queue: the kernel
// then drops handshakes the client already counts as done, and its first request waits for
// retransmissions or is never answered. 128 absorbs a whole meet reconnecting at once.
inline constexpr int kListenBacklog = 128;

class CListeningSocket {
  public:
    // Every complete message goes to `handler`; the listener's own lines go to `op`.
    CListeningSocket(COperatorInterface& op, CMessageHandler& handler);
    ~CListeningSocket();  // Close()
    CListeningSocket(const CListeningSocket&) = delete;
    CListeningSocket& operator=(const CListeningSocket&) = delete;

    // Binds all local IPv4 addresses on the port (0: the system picks), applies the buffer
    // sizes that are greater than 0 (refusals ignored), listens and starts accepting. A
    // failure's detail is the system's reason.
    CStatus Create(int port, int sendBufferSize, int receiveBufferSize,
                   const CNetLimits& limits = {});
    // Stops accepting, ends every connection and joins every thread.
    void Close();

    int Port() const { return port_; }
    int SendBufferSize() const;
    int ReceiveBufferSize() const;
    // Connection threads not yet reaped (running, or ended and waiting to be joined).
    size_t ThreadCount() const;
    // Connections served at once: the configured cap, lowered to fit the descriptor limit.
    size_t ConnectionCap() const { return connectionCap_; }
    // What the connections hold for messages, unfinished or kept for the next one.
    size_t ReceiveMemoryHeld() const { return receiveBudget_ ? receiveBudget_->Used() : 0; }

  private:
    void AcceptLoop();
    void Accepted(asio::ip::tcp::socket socket);
    void ReapFinished();
    void LogThrottled(CLogThrottle& throttle, std::u16string_view line);

    COperatorInterface& op_;
    CMessageHandler& handler_;
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = -1;
    CWakeSignal wake_;
    std::thread acceptThread_;
    mutable std::mutex connectionsMutex_;
    std::list<std::unique_ptr<CConnectThread>> connections_;

    size_t connectionCap_ = 0;
    size_t perAddressCap_ = 0;
    std::unique_ptr<CMemoryBudget> receiveBudget_;
    std::unique_ptr<CMemoryBudget> replyBudget_;
    CLogThrottle discardLog_, sendTimeoutLog_, replyBudgetLog_, acceptLog_, limitLog_;
    std::unique_ptr<CConnectionShared> shared_;
};

}  // namespace kestrom
