#include <winsock2.h>
#include <ws2tcpip.h>

#include "tools/ClientSocket.h"

namespace kestrom::client {

namespace {

// Winsock's FIONBIO is an unsigned value where ioctlsocket takes a long.
constexpr long kNonBlockingIo = static_cast<long>(FIONBIO);

using Clock = std::chrono::steady_clock;

// Winsock wants WSAStartup before the first call; once per process is enough.
bool StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET ConnectAddress(const addrinfo* ai, Clock::time_point deadline,
                      const std::string& localAddress) {
    SOCKET s = ::WSASocketW(ai->ai_family, ai->ai_socktype, ai->ai_protocol, nullptr, 0,
                            WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return s;
    if (!localAddress.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (ai->ai_family != AF_INET ||
            ::inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1 ||
            ::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::closesocket(s);
            return INVALID_SOCKET;
        }
    }
    u_long on = 1, off = 0;
    ::ioctlsocket(s, kNonBlockingIo, &on);
    int rc = ::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen));
    if (rc != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        WSAPOLLFD p{s, POLLWRNORM, 0};
        rc = ::WSAPoll(&p, 1, RemainingMs(deadline)) == 1 ? 0 : -1;
        int error = 0;
        int len = sizeof error;
        if (rc == 0 &&
            (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0 ||
             error != 0))
            rc = -1;
    }
    if (rc != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    ::ioctlsocket(s, kNonBlockingIo, &off);
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return s;
}

}  // namespace

ClientSocket ConnectTcp(const std::string& host, int port, Clock::time_point deadline,
                        const std::string& localAddress) {
    if (!StartWinsock()) return kNoSocket;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0)
        return kNoSocket;
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* ai = list; ai && s == INVALID_SOCKET; ai = ai->ai_next)
        s = ConnectAddress(ai, deadline, localAddress);
    ::freeaddrinfo(list);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<ClientSocket>(s);
}

void CloseSocket(ClientSocket s) {
    ::closesocket(static_cast<SOCKET>(s));
}

bool SendAll(ClientSocket s, std::string_view bytes) {
    while (!bytes.empty()) {
        const int chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<int>(bytes.size());
        const int n = ::send(static_cast<SOCKET>(s), bytes.data(), chunk, 0);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int WaitReadable(ClientSocket s, int timeoutMs) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, timeoutMs);
}

std::int64_t ReceiveSome(ClientSocket s, char* buffer, std::size_t size) {
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    return ::recv(static_cast<SOCKET>(s), buffer, chunk, 0);
}

bool PeerHasClosed(ClientSocket s, int waitMs) {
    WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
    if (::WSAPoll(&p, 1, waitMs) != 1) return false;
    char b;
    return ::recv(static_cast<SOCKET>(s), &b, 1, MSG_PEEK) == 0;
}

}  // namespace kestrom::client
