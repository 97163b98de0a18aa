#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which it needs.
#include <mstcpip.h>

#include <cstdint>
#include <cstring>

#include "net/ListeningSocket.h"
#include "net/Platform.h"

namespace kestrom {

// Winsock's FIONBIO is an unsigned value where ioctlsocket takes a long.
constexpr long kNonBlockingIo = static_cast<long>(FIONBIO);

void SetListenerAddressReuse(NativeSocket s, asio::error_code& ec) {
    // Windows binds beside connections in TIME_WAIT anyway; exclusive use keeps any other
    // program from binding the port while we listen.
    const BOOL on = TRUE;
    if (::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                     sizeof on) != 0)
        ec = asio::error_code(::WSAGetLastError(), asio::system_category());
}

void EnableKeepAlive(NativeSocket s, int idleSeconds) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = static_cast<ULONG>(idleSeconds) * 1000;
    values.keepaliveinterval = 10 * 1000;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
               nullptr);
}

bool WaitReadable(NativeSocket s, int timeoutMs) {
    WSAPOLLFD fd{s, POLLRDNORM, 0};
    const int rc = ::WSAPoll(&fd, 1, timeoutMs);
    return rc != 0;  // a failure is reported by the read
}

int WaitWritable(NativeSocket s, int timeoutMs) {
    WSAPOLLFD room{s, POLLWRNORM, 0};
    return ::WSAPoll(&room, 1, timeoutMs);
}

std::int64_t ReceiveSome(NativeSocket s, char* buffer, std::size_t size) {
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    return ::recv(s, buffer, chunk, 0);
}

std::int64_t SendSomeNow(NativeSocket s, const char* data, std::size_t size) {
    // Winsock has no per-call MSG_DONTWAIT: the socket is non-blocking for the send only, as
    // the connection's reads wait blocking.
    u_long on = 1, off = 0;
    if (::ioctlsocket(s, kNonBlockingIo, &on) != 0) return -1;
    const int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    const int n = ::send(s, data, chunk, 0);
    const int err = n < 0 ? ::WSAGetLastError() : 0;
    ::ioctlsocket(s, kNonBlockingIo, &off);
    if (n > 0) return n;
    return err == WSAEWOULDBLOCK ? kWouldBlock : -1;
}

void ShutdownBoth(NativeSocket s) {
    ::shutdown(s, SD_BOTH);
    // Windows does not promise that shutdown ends a recv another thread is blocked in (Wine's
    // does not), and closing the handle under that thread would race with its reuse.
    // Cancelling the socket's pending I/O ends the blocked recv with an error instead.
    ::CancelIoEx(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(s)), nullptr);
}

bool CWakeSignal::Open(asio::error_code& ec) {
    // A datagram socket bound to loopback that sends to itself: WSAPoll waits on sockets only.
    SOCKET s =
        ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        ec = asio::error_code(::WSAGetLastError(), asio::system_category());
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ec = asio::error_code(::WSAGetLastError(), asio::system_category());
        ::closesocket(s);
        return false;
    }
    read_ = write_ = static_cast<std::intptr_t>(s);
    return true;
}

void CWakeSignal::Signal() {
    const char stop = 1;
    ::send(static_cast<SOCKET>(write_), &stop, 1, 0);
}

void CWakeSignal::Close() {
    if (read_ != -1) ::closesocket(static_cast<SOCKET>(read_));
    read_ = write_ = -1;
}

AcceptWait WaitForAccept(NativeSocket listener, const CWakeSignal& wake, int timeoutMs) {
    WSAPOLLFD fds[2] = {{listener, POLLRDNORM, 0},
                        {static_cast<SOCKET>(wake.ReadHandle()), POLLRDNORM, 0}};
    const int rc = ::WSAPoll(fds, 2, timeoutMs);
    if (rc < 0) return AcceptWait::kFailed;
    if (fds[1].revents != 0) return AcceptWait::kWoken;
    if (rc == 0 || (fds[0].revents & POLLRDNORM) == 0) return AcceptWait::kIdle;
    return AcceptWait::kReadable;
}

size_t ConnectionCapForDescriptors(size_t wanted, size_t) {
    return wanted;  // Windows has no descriptor limit that sockets count against
}

std::size_t PageSize() {
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwPageSize;
}

void* MapPages(std::size_t bytes) {
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void* RemapPages(void* pages, std::size_t oldBytes, std::size_t newBytes) {
    // Windows cannot move pages: a fresh mapping gets the old content.
    void* p = MapPages(newBytes);
    if (!p) return nullptr;
    std::memcpy(p, pages, oldBytes);
    UnmapPages(pages, oldBytes);
    return p;
}

void UnmapPages(void* pages, std::size_t) {
    ::VirtualFree(pages, 0, MEM_RELEASE);
}

void PopulatePages(void*, std::size_t) {}

}  // namespace kestrom
