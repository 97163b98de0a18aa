#pragma once
// What the "Logging/Statistics" group decides, whatever draws it: whether lines are kept
// ("Log Events"), the rows a batch of lines puts on top of the list and the list's bound, the
// error count, and the list's horizontal extent, which only grows.
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/LocalTime.h"
#include "core/OperatorInterface.h"
#include "window/LogHandOver.h"

namespace kestrom {

// The extent a line of `lineWidth` pixels asks for: the line, a vertical scroll bar and 3.
inline int LogExtentFor(int lineWidth, int scrollBarWidth) {
    return lineWidth + scrollBarWidth + 3;
}

class CEventLogState {
  public:
    // The list's bound starts at the settings' default.
    CEventLogState();

    // "Log Events"; read from any thread, so lines that will not be shown are not made.
    void SetLogEvents(bool on) { logEvents_.store(on, std::memory_order_relaxed); }
    bool LogEvents() const { return logEvents_.load(std::memory_order_relaxed); }

    // A line logged on the window's own thread, as a batch of one (or none for level 4).
    CLogHandOver::Batch OneLine(std::u16string_view message, LogLevel level,
                                const LocalDateTime& when) const;
    // The rows `batch` puts on top of the list, newest first and at most the bound, with a
    // line for those that were dropped; its errors are counted. `now` stamps that line.
    std::vector<std::string> Accept(const CLogHandOver::Batch& batch, const LocalDateTime& now);

    int ErrorCount() const { return errorCount_; }
    void ClearErrors() { errorCount_ = 0; }

    std::size_t MaxLines() const { return maxLines_; }
    // Values below 1 count as 1.
    void SetMaxLines(std::size_t lines);
    // How many of `rows` the list keeps.
    std::size_t RowsKept(std::size_t rows) const { return rows < maxLines_ ? rows : maxLines_; }

    int Extent() const { return extent_; }
    // Widens the extent to `pixels`; false when it is already that wide.
    bool GrowExtent(int pixels);

  private:
    std::atomic<bool> logEvents_{false};
    int errorCount_ = 0;
    std::size_t maxLines_;
    int extent_ = 0;
};

}  // namespace kestrom
