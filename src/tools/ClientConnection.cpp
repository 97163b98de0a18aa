#include "tools/ClientConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

std::string EncodeText(std::u16string_view text, int charMode) {
    std::string out;
    out.reserve(text.size() * (charMode != 0 ? 2 : 1));
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        if (charMode != 0) out += static_cast<char>(c >> 8);
    }
    return out;
}

std::u16string DecodeBytes(std::string_view bytes, int charMode) {
    std::u16string out;
    if (charMode == 0) {
        for (char b : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(b));
        return out;
    }
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
}

std::u16string BuildRequest(std::u16string_view code, std::u16string_view payload,
                            std::u16string_view trailer) {
    std::u16string text;
    text += u'\x0001';
    text += code;
    text += u'\x0002';
    text += payload;
    text += u'\x0003';
    text += trailer;
    text += u'\x0004';
    return text;
}

std::unique_ptr<CClientConnection> CClientConnection::Connect(const std::string& host, int port,
                                                              int charMode,
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
    return std::unique_ptr<CClientConnection>(new CClientConnection(fd, charMode));
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
    return SendBytes(EncodeText(text, charMode_));
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

int CClientConnection::ReadByte(Clock::time_point deadline) {
    if (pendingPos_ == pending_.size()) {
        if (fd_ < 0) return -1;
        pollfd p{fd_, POLLIN, 0};
        int rc;
        do {
            rc = ::poll(&p, 1, RemainingMs(deadline));
        } while (rc < 0 && errno == EINTR);
        if (rc <= 0) return -1;
        pending_.resize(kReadChunkBytes);
        const ssize_t n = ::recv(fd_, pending_.data(), pending_.size(), 0);
        pending_.resize(n > 0 ? static_cast<size_t>(n) : 0);
        pendingPos_ = 0;
        if (n <= 0) return -1;
    }
    const unsigned char b = static_cast<unsigned char>(pending_[pendingPos_++]);
    last_ += static_cast<char>(b);
    return b;
}

std::optional<std::string> CClientConnection::ReceiveBytes(size_t n,
                                                           std::chrono::milliseconds timeout) {
    last_.clear();
    const auto deadline = Clock::now() + timeout;
    while (last_.size() < n)
        if (ReadByte(deadline) < 0) return std::nullopt;
    return last_;
}

std::optional<CReply> CClientConnection::ReceiveReply(std::chrono::milliseconds timeout) {
    last_.clear();
    const auto deadline = Clock::now() + timeout;
    const size_t width = charMode_ != 0 ? 2 : 1;
    // Reads one character of the connection's width.
    auto readChar = [&]() -> long {
        long c = 0;
        for (size_t i = 0; i < width; ++i) {
            const int b = ReadByte(deadline);
            if (b < 0) return -1;
            c |= static_cast<long>(b) << (8 * i);
        }
        return c;
    };
    CReply reply;
    if (readChar() != 1) return std::nullopt;
    std::u16string head;  // code ",PSZ=" size, up to STX
    for (long c; (c = readChar()) != 2;) {
        if (c < 0 || head.size() > 64) return std::nullopt;
        head += static_cast<char16_t>(c);
    }
    const size_t comma = head.find(u",PSZ=");
    if (comma == std::u16string::npos) return std::nullopt;
    reply.code = head.substr(0, comma);
    std::string sizeText;
    for (char16_t c : head.substr(comma + 5)) sizeText += static_cast<char>(c);
    reply.size = std::strtol(sizeText.c_str(), nullptr, 10);
    if (reply.size < 3) return std::nullopt;
    // PSZ counts the payload's bytes on the wire plus three.
    for (long i = 0; i < reply.size - 3; ++i) {
        const int b = ReadByte(deadline);
        if (b < 0) return std::nullopt;
        reply.payloadBytes += static_cast<char>(b);
    }
    if (readChar() != 3 || readChar() != 4) return std::nullopt;
    reply.payload = DecodeBytes(reply.payloadBytes, charMode_);
    reply.bytes = last_;
    return reply;
}

std::string CClientConnection::ReceiveAvailable(std::chrono::milliseconds wait) {
    last_.clear();
    const auto deadline = Clock::now() + wait;
    while (ReadByte(deadline) >= 0) {
    }
    return last_;
}

bool CClientConnection::PeerClosed(std::chrono::milliseconds wait) {
    if (fd_ < 0) return true;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) != 1) return false;
    char b;
    return ::recv(fd_, &b, 1, MSG_PEEK) == 0;
}

std::optional<CReply> RequestOnce(const std::string& host, int port, int charMode,
                                  std::u16string_view request, std::chrono::milliseconds timeout) {
    auto connection = CClientConnection::Connect(host, port, charMode, timeout);
    if (!connection || !connection->SendText(request)) return std::nullopt;
    return connection->ReceiveReply(timeout);
}

}  // namespace kestrom::client
