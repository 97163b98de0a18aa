#include "window/LogHandOver.h"

#include <algorithm>
#include <iterator>

#include "core/LogLine.h"
#include "core/OperatorInterface.h"

namespace kestrom {

void CLogHandOver::SetMaxLines(std::size_t lines) {
    std::lock_guard lock(mutex_);
    maxLines_ = std::max<std::size_t>(1, lines);
}

bool CLogHandOver::Add(const LocalDateTime& when, std::u16string_view message, LogLevel level,
                       bool show) {
    if (level == LogLevel::kNever || (!show && level != LogLevel::kError)) return false;
    // Formatted before the lock: the cut to 128 characters keeps the work per line small
    // whatever the message.
    std::string line;
    if (show) line = FormatLogLine(when, message);
    std::lock_guard lock(mutex_);
    if (level == LogLevel::kError) ++pending_.errors;
    if (show) {
        // Once one is dropped every later one is too until the last take, so the count of
        // lost lines stands where they were lost.
        if (pending_.lines.size() < maxLines_ && pending_.dropped == 0) {
            pending_.lines.push_back(std::move(line));
        } else {
            ++pending_.dropped;
        }
    }
    if (takeRequested_) return false;
    takeRequested_ = true;
    return true;
}

CLogHandOver::Batch CLogHandOver::Take(std::size_t maxLines) {
    std::lock_guard lock(mutex_);
    if (pending_.lines.size() <= maxLines) {
        Batch batch = std::move(pending_);
        pending_ = Batch{};
        takeRequested_ = false;
        return batch;
    }
    Batch batch;
    const auto end = pending_.lines.begin() + static_cast<std::ptrdiff_t>(maxLines);
    batch.lines.assign(std::make_move_iterator(pending_.lines.begin()),
                       std::make_move_iterator(end));
    pending_.lines.erase(pending_.lines.begin(), end);
    batch.more = true;
    return batch;
}

}  // namespace kestrom
