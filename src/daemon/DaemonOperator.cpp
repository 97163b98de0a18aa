#include "daemon/DaemonOperator.h"

#include <unistd.h>

#include <cerrno>

#include "fileio/TextConvert.h"

namespace kestrom {

void CDaemonOperator::AddLogLine(std::u16string_view text, int level) {
    if (level == kLogNever) return;
    if (level == kLogError) ++errors_;
    if (settings_ && !settings_->LogEvents()) return;
    // Line breaks inside a message would break the one-line-per-entry output.
    std::string line = FormatLogLine(LocalNow(), text);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    // No lock: one write(2) per line keeps lines whole, since the kernel serialises writes on
    // one open file and takes a pipe write of up to PIPE_BUF bytes (a line is far shorter) in
    // one piece. A lock held across the system call made every connection queue behind it.
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
