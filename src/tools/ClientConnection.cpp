#include "tools/ClientConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrom::client {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects one address with a deadline; the socket is left blocking.
int ConnectAddress(const addrinfo* ai, Clock::time_point deadline,
                   const std::string& localAddress) {
    int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) return -1;
    if (!localAddress.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (ai->ai_family != AF_INET ||
            ::inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, RemainingMs(deadline)) == 1 ? 0 : -1;
        int error = 0;
        socklen_t len = sizeof error;
        if (rc == 0 && (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0 || error != 0))
            rc = -1;
    }
    if (rc < 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, flags);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

std::unique_ptr<CClientConnection> CClientConnection::Connect(const std::string& host, int port,
                                                              WireMode mode,
                                                              std::chrono::milliseconds timeout,
                                                              const std::string& localAddress) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0)
        return nullptr;
    const auto deadline = Clock::now() + timeout;
    int fd = -1;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next)
        fd = ConnectAddress(ai, deadline, localAddress);
    ::freeaddrinfo(list);
    if (fd < 0) return nullptr;
    return std::unique_ptr<CClientConnection>(new CClientConnection(fd, mode));
}

CClientConnection::~CClientConnection() {
    Close();
}

void CClientConnection::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool CClientConnection::SendText(std::u16string_view text) {
    return SendBytes(Encode(text, mode_));
}

bool CClientConnection::SendBytes(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool CClientConnection::FillPending(Clock::time_point deadline) {
    if (pendingPos_ < pending_.size()) return true;
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, RemainingMs(deadline));
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0) return false;
    pending_.resize(kReadChunkBytes);
    const ssize_t n = ::recv(fd_, pending_.data(), pending_.size(), 0);
    pending_.resize(n > 0 ? static_cast<size_t>(n) : 0);
    pendingPos_ = 0;
    return n > 0;
}

void CClientConnection::Consume(size_t n) {
    last_.append(pending_, pendingPos_, n);
    pendingPos_ += n;
}

std::optional<std::string> CClientConnection::ReceiveBytes(size_t n,
                                                           std::chrono::milliseconds timeout) {
    last_.clear();
    const auto deadline = Clock::now() + timeout;
    while (last_.size() < n) {
        if (!FillPending(deadline)) return std::nullopt;
        Consume(std::min(n - last_.size(), pending_.size() - pendingPos_));
    }
    return last_;
}

std::optional<CReply> CClientConnection::ReceiveReply(std::chrono::milliseconds timeout) {
    last_.clear();
    const auto deadline = Clock::now() + timeout;
    CReplyParser parser;
    parser.Start(ReplyShape::kRecord, mode_, true);
    while (!parser.Done()) {
        if (!FillPending(deadline)) return std::nullopt;
        Consume(parser.Feed(std::string_view(pending_).substr(pendingPos_)));
    }
    CReplyOutcome& outcome = parser.Outcome();
    if (!outcome.complete) return std::nullopt;
    CReply reply;
    reply.bytes = last_;
    reply.code = std::move(outcome.code);
    reply.size = static_cast<long>(outcome.size);
    reply.payload = Decode(outcome.payloadBytes, mode_);
    reply.payloadBytes = std::move(outcome.payloadBytes);
    return reply;
}

std::string CClientConnection::ReceiveAvailable(std::chrono::milliseconds wait) {
    last_.clear();
    const auto deadline = Clock::now() + wait;
    while (FillPending(deadline)) Consume(pending_.size() - pendingPos_);
    return last_;
}

bool CClientConnection::PeerClosed(std::chrono::milliseconds wait) {
    if (fd_ < 0) return true;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) != 1) return false;
    char b;
    return ::recv(fd_, &b, 1, MSG_PEEK) == 0;
}

std::optional<CReply> RequestOnce(const std::string& host, int port, WireMode mode,
                                  std::u16string_view request, std::chrono::milliseconds timeout) {
    auto connection = CClientConnection::Connect(host, port, mode, timeout);
    if (!connection || !connection->SendText(request)) return std::nullopt;
    return connection->ReceiveReply(timeout);
}

}  // namespace kestrom::client
