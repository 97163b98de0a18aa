#pragma once
// A loopback port for a server under test: within 1..32767, which is all the port field and
// --port accept, and below the system's ephemeral range, so outgoing connections never take it.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

namespace kestrom::testing {

// A port nothing listens on right now; 0 when none was found.
inline int FreeLoopbackPort() {
    // Spread by process id, so test programs running side by side rarely try the same ports.
    static std::atomic<unsigned> next{static_cast<unsigned>(::getpid()) * 7919u};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int port = 10000 + static_cast<int>(next++ % 22000u);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(static_cast<uint16_t>(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free) return port;
    }
    return 0;
}

}  // namespace kestrom::testing
