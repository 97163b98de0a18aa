#include "base/WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kestrom {

WholeFileState ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? WholeFileState::kMissing : WholeFileState::kUnreadable;
    char buf[16384];
    WholeFileState state = WholeFileState::kRead;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            state = WholeFileState::kUnreadable;  // EISDIR among others
            break;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return state;
}

}  // namespace kestrom
