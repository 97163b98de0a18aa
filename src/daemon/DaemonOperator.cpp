#include "daemon/DaemonOperator.h"

#include <cstdio>

#include "fileio/TextConvert.h"

namespace kestrom {

std::string FormatLogLine(const LocalDateTime& when, std::u16string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d   ", when.month, when.day,
                  when.year, when.hour, when.minute, when.second);
    size_t length = std::min(message.size(), kLogMessageChars);
    if (length < message.size() && length > 0 && message[length - 1] >= 0xD800 &&
        message[length - 1] <= 0xDBFF)
        --length;
    return stamp + ToUtf8(message.substr(0, length));
}

void CDaemonOperator::AddLogLine(std::u16string_view text, int level) {
    if (level == kLogNever) return;
    std::lock_guard lock(mutex_);
    if (level == kLogError) ++errors_;
    if (settings_ && !settings_->Get().LogEvents) return;
    // Line breaks inside a message would break the one-line-per-entry output.
    std::string line = FormatLogLine(LocalNow(), text);
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    std::fputs(line.c_str(), out_);
    std::fflush(out_);
}

}  // namespace kestrom
