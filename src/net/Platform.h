#pragma once
// What the listener and the connection threads need from the system beside Asio: waiting on
// sockets, sends that never block, keepalive, the accept loop's wake signal and the large
// receive buffers' pages. poll(), pipes and mmap on Linux; WSAPoll, Winsock and VirtualAlloc
// on Windows.
#include <asio/ip/tcp.hpp>
#include <cstddef>
#include <cstdint>

namespace kestrom {

using NativeSocket = asio::ip::tcp::socket::native_handle_type;

// Lets a restarted server bind while old connections linger in TIME_WAIT, while a second
// listener on the port is refused: SO_REUSEADDR on Linux, SO_EXCLUSIVEADDRUSE on Windows
// (where SO_REUSEADDR would let another program take the port over). For every listening
// socket before its bind, the console's included.
void SetListenerAddressReuse(NativeSocket s, asio::error_code& ec);

// Probes start after `idleSeconds` without traffic and go every 10 s; six unanswered ones
// end the connection (Windows sets the count itself: ten).
void EnableKeepAlive(NativeSocket s, int idleSeconds);

// True when the socket can be read, or has failed (the read then reports it); false when
// `timeoutMs` passed with nothing to read.
bool WaitReadable(NativeSocket s, int timeoutMs);
// > 0 when there is room to send (or an interrupted wait), 0 on timeout, < 0 on failure.
int WaitWritable(NativeSocket s, int timeoutMs);
// Bytes received, 0 at the end of the stream, < 0 on failure; interruptions are retried.
std::int64_t ReceiveSome(NativeSocket s, char* buffer, std::size_t size);
// Sends what fits now without blocking: the bytes sent, kWouldBlock when nothing fits, or
// -1 on failure; interruptions are retried.
constexpr std::int64_t kWouldBlock = -2;
std::int64_t SendSomeNow(NativeSocket s, const char* data, std::size_t size);
// Ends both directions; the handle stays open.
void ShutdownBoth(NativeSocket s);

// Wakes the accept loop from another thread: a pipe on Linux, a loopback datagram on Windows.
class CWakeSignal {
  public:
    CWakeSignal() = default;
    ~CWakeSignal() { Close(); }
    CWakeSignal(const CWakeSignal&) = delete;
    CWakeSignal& operator=(const CWakeSignal&) = delete;
    // False with the system's error in ec.
    bool Open(asio::error_code& ec);
    void Signal();
    void Close();

    // What the accept loop waits on beside the listener.
    std::intptr_t ReadHandle() const { return read_; }

  private:
    std::intptr_t read_ = -1;
    std::intptr_t write_ = -1;
};

enum class AcceptWait { kReadable, kIdle, kWoken, kFailed };
// Waits up to timeoutMs for a connection to accept or for the signal. kIdle: a timeout or an
// interruption.
AcceptWait WaitForAccept(NativeSocket listener, const CWakeSignal& wake, int timeoutMs);

// Pages for a large receive buffer, readable and writable; nullptr when none are to be had.
std::size_t PageSize();
void* MapPages(std::size_t bytes);
// Grows a mapping (the contents move with it); nullptr leaves the old one as it was.
void* RemapPages(void* pages, std::size_t oldBytes, std::size_t newBytes);
void UnmapPages(void* pages, std::size_t bytes);
// Maps pages about to be written in one call where the system can (Linux 5.14 and later).
void PopulatePages(void* at, std::size_t bytes);

}  // namespace kestrom
