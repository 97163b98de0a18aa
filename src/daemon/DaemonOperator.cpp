#include "daemon/DaemonOperator.h"

#include <unistd.h>

#include <cerrno>

#include "fileio/TextConvert.h"

namespace kestrom {

void CDaemonOperator::AddLogLine(std::u16string_view text, int level) {
    if (level == kLogNever) return;
    if (level == kLogError) ++errors_;
    if (settings_ && !settings_->LogEvents()) return;
    // Formatted before the lock, so connection threads only queue for the write itself.
    // Line breaks inside a message would break the one-line-per-entry output.
    std::string line = FormatLogLine(LocalNow(), text);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    std::lock_guard lock(writeMutex_);
    // One write per line; a pipe takes a line of this size whole, a short write goes on.
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(outFd_, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        // A closed or full standard output loses the log, not the request.
        if (n <= 0) return;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace kestrom
