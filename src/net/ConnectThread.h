#pragma once
// One thread per accepted connection, owning the connection's socket for its whole life.
#include <pthread.h>

#include <asio/ip/tcp.hpp>
#include <atomic>

#include "net/ConnectSocket.h"

namespace kestrom {

// A connection needs little stack; a small one keeps a thousand idle clients cheap.
inline constexpr size_t kConnectThreadStackBytes = 256 * 1024;

class CConnectThread {
  public:
    CConnectThread(asio::ip::tcp::socket socket, CConnectionShared& shared);
    ~CConnectThread();  // joins
    CConnectThread(const CConnectThread&) = delete;
    CConnectThread& operator=(const CConnectThread&) = delete;

    // False (with errno's code in *error) when the thread could not be created; the socket
    // then closes with this object.
    bool Start(int* error = nullptr);
    // Asks the connection to end (wakes its blocked read or send).
    void Shutdown() { socket_.Shutdown(); }
    // Ends the connection to make room for another; it no longer counts as connected.
    void Evict() {
        evicted_ = true;
        socket_.Shutdown();
    }
    bool Evicted() const { return evicted_; }
    // True once the thread has done all its work and only needs joining.
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    void Join();

    const std::u16string& PeerIpText() const { return socket_.PeerIpText(); }
    CConnectSocket::Clock::time_point LastActivity() const { return socket_.LastActivity(); }
    bool Serving() const { return socket_.Serving(); }

  private:
    static void* ThreadMain(void* self);
    void Body();

    CConnectSocket socket_;
    COperatorInterface& op_;
    pthread_t thread_{};
    bool started_ = false;
    bool evicted_ = false;  // touched only by the listener
    std::atomic<bool> finished_{false};
};

}  // namespace kestrom
