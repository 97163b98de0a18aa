#include "daemon/DaemonOperator.h"

#include "base/TextConvert.h"

namespace kestrom {

CDaemonOperator::CDaemonOperator(int outFd)
    : writer_(outFd, [](std::uint64_t lost) {
          return FormatLogLine(LocalNow(), LostLogLinesMessage(lost)) + '\n';
      }) {}

void CDaemonOperator::SetLogBacklog(int lines) {
    writer_.SetMaxBacklogLines(lines > 0 ? static_cast<std::size_t>(lines) : 1);
}

void CDaemonOperator::AddLogLine(std::u16string_view text, LogLevel level) {
    if (level == LogLevel::kNever) return;
    if (level == LogLevel::kError) ++errors_;
    if (settings_ && !settings_->LogEvents()) return;
    // Line breaks inside a message would break the one-line-per-entry output.
    std::string line = FormatLogLine(LocalNow(), text);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    writer_.Write(line);
}

}  // namespace kestrom
