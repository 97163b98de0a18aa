#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/ListeningSocket.h"
#include "net/Platform.h"

namespace kestrom {

void SetListenerAddressReuse(NativeSocket s, asio::error_code& ec) {
    // Not SO_REUSEPORT, which would let a second listener of the same user share the port.
    const int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        ec = asio::error_code(errno, asio::system_category());
}

// A device that vanished (roamed away, battery out) frees its thread and descriptor about two
// minutes after it went quiet. A device that answers is never disconnected, however long it
// stays idle.
void EnableKeepAlive(NativeSocket fd, int idleSeconds) {
    const int on = 1, interval = 10, count = 6;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

bool WaitReadable(NativeSocket s, int timeoutMs) {
    pollfd fd{s, POLLIN, 0};
    for (;;) {
        const int rc = ::poll(&fd, 1, timeoutMs);
        if (rc > 0) return true;
        if (rc == 0) return false;
        if (errno != EINTR) return true;  // the read reports it
    }
}

int WaitWritable(NativeSocket s, int timeoutMs) {
    pollfd room{s, POLLOUT, 0};
    const int rc = ::poll(&room, 1, timeoutMs);
    if (rc < 0 && errno == EINTR) return 1;
    return rc;
}

std::int64_t ReceiveSome(NativeSocket s, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::recv(s, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

std::int64_t SendSomeNow(NativeSocket s, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::send(s, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) return n;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
        return -1;
    }
}

void ShutdownBoth(NativeSocket s) {
    ::shutdown(s, SHUT_RDWR);
}

bool CWakeSignal::Open(asio::error_code& ec) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        ec = asio::error_code(errno, asio::system_category());
        return false;
    }
    read_ = fds[0];
    write_ = fds[1];
    return true;
}

void CWakeSignal::Signal() {
    const char stop = 1;
    [[maybe_unused]] const auto n = ::write(static_cast<int>(write_), &stop, 1);
}

void CWakeSignal::Close() {
    for (std::intptr_t* fd : {&read_, &write_}) {
        if (*fd >= 0) ::close(static_cast<int>(*fd));
        *fd = -1;
    }
}

AcceptWait WaitForAccept(NativeSocket listener, const CWakeSignal& wake, int timeoutMs) {
    pollfd fds[2] = {{listener, POLLIN, 0}, {static_cast<int>(wake.ReadHandle()), POLLIN, 0}};
    const int rc = ::poll(fds, 2, timeoutMs);
    if (rc < 0 && errno != EINTR) return AcceptWait::kFailed;
    if (fds[1].revents != 0) return AcceptWait::kWoken;
    if (rc <= 0 || (fds[0].revents & POLLIN) == 0) return AcceptWait::kIdle;
    return AcceptWait::kReadable;
}

size_t ConnectionCapForDescriptors(size_t wanted, size_t reserve) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return wanted;
    const size_t descriptors = static_cast<size_t>(limit.rlim_cur);
    // Never none at all: a server with a tiny limit still serves a few devices.
    const size_t fit = descriptors > reserve + 8 ? descriptors - reserve : 8;
    return std::min(wanted, fit);
}

std::size_t PageSize() {
    return static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

void* MapPages(std::size_t bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    // Large pages where Linux allows them: far fewer pages to map for a large message.
    ::madvise(p, bytes, MADV_HUGEPAGE);
    return p;
}

void* RemapPages(void* pages, std::size_t oldBytes, std::size_t newBytes) {
    // The kernel moves the pages; nothing is copied.
    void* p = ::mremap(pages, oldBytes, newBytes, MREMAP_MAYMOVE);
    return p == MAP_FAILED ? nullptr : p;
}

void UnmapPages(void* pages, std::size_t bytes) {
    ::munmap(pages, bytes);
}

// One call maps them all instead of a fault for each, which costs much more where page faults
// are slow (virtual machines). An older kernel faults them in one by one as before.
void PopulatePages(void* at, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    ::madvise(at, bytes, MADV_POPULATE_WRITE);
#else
    (void)at;
    (void)bytes;
#endif
}

}  // namespace kestrom
