#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/WholeFile.h"

namespace kestrom {

CResult<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return CStatus::Failure(FileCauseFromErrno(errno));
    std::string bytes;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;  // EISDIR among others
            ::close(fd);
            return CStatus::Failure(FileCauseFromErrno(err));
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

}  // namespace kestrom
