#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tools/ClientSocket.h"

namespace kestrom::client {

namespace {

using Clock = std::chrono::steady_clock;

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

ClientSocket ConnectTcp(const std::string& host, int port, Clock::time_point deadline,
                        const std::string& localAddress) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0)
        return kNoSocket;
    int fd = -1;
    for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next)
        fd = ConnectAddress(ai, deadline, localAddress);
    ::freeaddrinfo(list);
    return fd;
}

void CloseSocket(ClientSocket s) {
    ::close(static_cast<int>(s));
}

bool SendAll(ClientSocket s, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(static_cast<int>(s), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int WaitReadable(ClientSocket s, int timeoutMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

std::int64_t ReceiveSome(ClientSocket s, char* buffer, std::size_t size) {
    return ::recv(static_cast<int>(s), buffer, size, 0);
}

bool PeerHasClosed(ClientSocket s, int waitMs) {
    pollfd p{static_cast<int>(s), POLLIN, 0};
    if (::poll(&p, 1, waitMs) != 1) return false;
    char b;
    return ::recv(static_cast<int>(s), &b, 1, MSG_PEEK) == 0;
}

}  // namespace kestrom::client
