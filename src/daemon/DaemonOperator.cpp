#include "daemon/DaemonOperator.h"

#include "base/TextConvert.h"

namespace kestrom {

namespace {

std::string LostLinesLine(std::uint64_t lost) {
    return FormatLogLine(LocalNow(), LostLogLinesMessage(lost)) + '\n';
}

}  // namespace

CDaemonOperator::CDaemonOperator(int outFd) : writer_(outFd, LostLinesLine) {}

CDaemonOperator::CDaemonOperator(CLineSink& sink) : writer_(sink, LostLinesLine) {}

void CDaemonOperator::AddNote(std::string_view utf8) {
    // The time stamp of an empty log line, then the whole text.
    std::string line = FormatLogLine(LocalNow(), u"");
    line += utf8;
    WriteLine(std::move(line));
}

void CDaemonOperator::WriteLine(std::string line) {
    // Line breaks inside a message would break the one-line-per-entry output.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    writer_.Write(line);
}

void CDaemonOperator::SetLogBacklog(int lines) {
    writer_.SetMaxBacklogLines(lines > 0 ? static_cast<std::size_t>(lines) : 1);
}

void CDaemonOperator::AddLogLine(std::u16string_view text, LogLevel level) {
    if (level == LogLevel::kNever) return;
    if (level == LogLevel::kError) ++errors_;
    if (settings_ && !settings_->LogEvents()) return;
    WriteLine(FormatLogLine(LocalNow(), text));
}

}  // namespace kestrom
