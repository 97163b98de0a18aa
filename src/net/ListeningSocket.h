#pragma once
// The listening socket: accepts on its own thread and gives every connection a thread.
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "net/ConnectThread.h"

namespace kestrom {

// A backlog of 5 let a burst of reconnecting devices overflow the accept queue: the kernel
// then drops handshakes the client already counts as done, and its first request waits for
// retransmissions or is never answered. 128 absorbs a whole meet reconnecting at once.
inline constexpr int kListenBacklog = 128;

class CListeningSocket {
  public:
    CListeningSocket(CRequestContext& requestContext, CAdmissionContext& admissionContext);
    ~CListeningSocket();  // Close()
    CListeningSocket(const CListeningSocket&) = delete;
    CListeningSocket& operator=(const CListeningSocket&) = delete;

    // Binds all local IPv4 addresses on the port (0: the system picks), applies the buffer
    // sizes that are greater than 0 (refusals ignored), listens and starts accepting. On
    // failure `error` says why.
    bool Create(int port, int sendBufferSize, int receiveBufferSize, std::string& error);
    // Stops accepting, ends every connection and joins every thread.
    void Close();

    int Port() const { return port_; }
    int SendBufferSize() const;
    int ReceiveBufferSize() const;
    // Connection threads not yet reaped (running, or ended and waiting to be joined).
    size_t ThreadCount() const;

  private:
    void AcceptLoop();
    void Accepted(asio::ip::tcp::socket socket);
    void ReapFinished();

    CRequestContext& requestContext_;
    CAdmissionContext& admissionContext_;
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    int port_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::thread acceptThread_;
    mutable std::mutex connectionsMutex_;
    std::list<std::unique_ptr<CConnectThread>> connections_;
};

}  // namespace kestrom
