#include "daemon/DaemonOperator.h"

#include <cstdio>

#include "fileio/TextConvert.h"

namespace kestrom {

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
