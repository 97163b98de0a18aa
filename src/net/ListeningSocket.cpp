#include "net/ListeningSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

namespace kestrom {

CListeningSocket::CListeningSocket(CRequestContext& requestContext,
                                   CAdmissionContext& admissionContext)
    : requestContext_(requestContext), admissionContext_(admissionContext), acceptor_(io_) {}

CListeningSocket::~CListeningSocket() {
    Close();
}

bool CListeningSocket::Create(int port, int sendBufferSize, int receiveBufferSize,
                              std::string& error) {
    asio::error_code ec;
    const asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v4(), static_cast<unsigned short>(port));
    if (port < 0 || port > 65535) {
        error = "invalid port number";
        return false;
    }
    acceptor_.open(endpoint.protocol(), ec);
    // Lets a restarted server bind while old connections linger in TIME_WAIT; two listeners
    // on one port are still refused.
    if (!ec) acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) {
        asio::error_code ignored;
        if (sendBufferSize > 0)
            acceptor_.set_option(asio::socket_base::send_buffer_size(sendBufferSize), ignored);
        if (receiveBufferSize > 0)
            acceptor_.set_option(asio::socket_base::receive_buffer_size(receiveBufferSize),
                                 ignored);
        acceptor_.listen(kListenBacklog, ec);
    }
    // Accepts wait in poll() beside a wake pipe, so Close can end the accept thread.
    if (!ec) acceptor_.non_blocking(true, ec);
    if (!ec && ::pipe2(wakePipe_, O_CLOEXEC) != 0)
        ec = asio::error_code(errno, asio::system_category());
    if (ec) {
        error = ec.message();
        asio::error_code ignored;
        acceptor_.close(ignored);
        return false;
    }
    port_ = acceptor_.local_endpoint(ec).port();
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void CListeningSocket::Close() {
    if (acceptThread_.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const auto n = ::write(wakePipe_[1], &stop, 1);
        acceptThread_.join();
    }
    for (int& fd : wakePipe_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    asio::error_code ignored;
    acceptor_.close(ignored);
    std::list<std::unique_ptr<CConnectThread>> connections;
    {
        std::lock_guard lock(connectionsMutex_);
        connections.swap(connections_);
    }
    for (auto& connection : connections) connection->Shutdown();
    connections.clear();  // joins each thread
    port_ = -1;
}

int CListeningSocket::SendBufferSize() const {
    asio::socket_base::send_buffer_size option;
    asio::error_code ec;
    acceptor_.get_option(option, ec);
    return ec ? -1 : option.value();
}

int CListeningSocket::ReceiveBufferSize() const {
    asio::socket_base::receive_buffer_size option;
    asio::error_code ec;
    acceptor_.get_option(option, ec);
    return ec ? -1 : option.value();
}

size_t CListeningSocket::ThreadCount() const {
    std::lock_guard lock(connectionsMutex_);
    return connections_.size();
}

void CListeningSocket::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{acceptor_.native_handle(), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        // The timeout lets ended connection threads be joined while nobody connects.
        const int rc = ::poll(fds, 2, 1000);
        if (rc < 0 && errno != EINTR) return;
        if (fds[1].revents != 0) return;
        ReapFinished();
        if (rc <= 0 || (fds[0].revents & POLLIN) == 0) continue;
        asio::error_code ec;
        asio::ip::tcp::socket socket(io_);
        acceptor_.accept(socket, ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) continue;
        if (ec) {
            // Out of descriptors and the like: wait a little instead of spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        Accepted(std::move(socket));
    }
}

void CListeningSocket::Accepted(asio::ip::tcp::socket socket) {
    asio::error_code ec;
    socket.non_blocking(false, ec);
    auto connection =
        std::make_unique<CConnectThread>(std::move(socket), requestContext_, admissionContext_);
    std::lock_guard lock(connectionsMutex_);
    // Started under the lock so Close never misses a thread; a thread that cannot be created
    // closes its connection as the object goes.
    if (connection->Start()) connections_.push_back(std::move(connection));
}

void CListeningSocket::ReapFinished() {
    std::list<std::unique_ptr<CConnectThread>> ended;
    {
        std::lock_guard lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->Finished())
                ended.splice(ended.end(), connections_, it++);
            else
                ++it;
        }
    }
    ended.clear();  // joins outside the lock
}

}  // namespace kestrom
