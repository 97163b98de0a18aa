#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "daemon/LineWriter.h"

namespace kestrom {

namespace {

// A pipe that reports room takes this much without blocking (PIPE_BUF on Linux).
constexpr std::size_t kWriteChunk = 4096;
constexpr int kPollMilliseconds = 100;

}  // namespace

void CLineWriter::WriteOut(std::string_view bytes) {
    if (fd_ < 0) return;  // poll would wait on it for ever
    while (!bytes.empty()) {
        // Waiting in poll rather than in write lets a stop give up on an output that is
        // never read again.
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) {
            if (stopping_.load() && std::chrono::steady_clock::now() >= stopDeadline_) return;
            continue;
        }
        const ssize_t n = ::write(fd_, bytes.data(), std::min(bytes.size(), kWriteChunk));
        if (n < 0 && errno == EINTR) continue;
        // A closed or broken standard output loses the log, not the requests.
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace kestrom
