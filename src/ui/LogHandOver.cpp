#include "ui/LogHandOver.h"

#include <algorithm>

#include "app/LogLine.h"
#include "app/OperatorInterface.h"

namespace kestrom {

void CLogHandOver::SetMaxLines(std::size_t lines) {
    std::lock_guard lock(mutex_);
    maxLines_ = std::max<std::size_t>(1, lines);
}

bool CLogHandOver::Add(const LocalDateTime& when, std::u16string_view message, int level,
                       bool show) {
    if (level == kLogNever || (!show && level != kLogError)) return false;
    // Formatted before the lock: the cut to 128 characters keeps the work per line small
    // whatever the message.
    std::string line;
    if (show) line = FormatLogLine(when, message);
    std::lock_guard lock(mutex_);
    if (level == kLogError) ++pending_.errors;
    if (show) {
        // Lines only leave with a take, so once one is dropped every later one is too
        // until then: the count of lost lines stands where they were lost.
        if (pending_.lines.size() < maxLines_) {
            pending_.lines.push_back(std::move(line));
        } else {
            ++pending_.dropped;
        }
    }
    if (takeRequested_) return false;
    takeRequested_ = true;
    return true;
}

CLogHandOver::Batch CLogHandOver::Take() {
    std::lock_guard lock(mutex_);
    Batch batch = std::move(pending_);
    pending_ = Batch{};
    takeRequested_ = false;
    return batch;
}

}  // namespace kestrom
