#pragma once
// The client's TCP calls: BSD sockets on Linux, Winsock on Windows. A socket is an
// std::intptr_t, -1 when there is none.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrom::client {

// Milliseconds left until deadline as a poll's timeout: 0 once it has passed, and never more
// than an int holds however far away it is.
inline int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                               deadline - std::chrono::steady_clock::now())
                               .count();
    return left > 0 ? static_cast<int>(left < (1LL << 30) ? left : (1LL << 30)) : 0;
}

using ClientSocket = std::intptr_t;
constexpr ClientSocket kNoSocket = -1;

// Resolves host and connects the first address that answers before the deadline, bound to
// localAddress (IPv4) when it is not empty; the socket is blocking, with TCP_NODELAY.
ClientSocket ConnectTcp(const std::string& host, int port,
                        std::chrono::steady_clock::time_point deadline,
                        const std::string& localAddress);
void CloseSocket(ClientSocket s);
// False when the connection failed before every byte was sent.
bool SendAll(ClientSocket s, std::string_view bytes);
// > 0 when there is something to read (or the stream ended), 0 on timeout, < 0 on failure.
int WaitReadable(ClientSocket s, int timeoutMs);
// Bytes read, 0 at the end of the stream, < 0 on failure.
std::int64_t ReceiveSome(ClientSocket s, char* buffer, std::size_t size);
// True when the peer has closed the stream: readable within wait and nothing to read.
bool PeerHasClosed(ClientSocket s, int waitMs);

}  // namespace kestrom::client
