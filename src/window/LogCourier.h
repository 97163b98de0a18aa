#pragma once
// Log lines from any thread to the window's event log. A connection thread leaves its line in
// the bounded hand-over without waiting and asks the window's thread for one take; the
// window's thread takes a few hundred lines at a time, so that a flood leaves the window's
// other events their turn, and asks for the next take while lines remain. The window's own
// lines go through the hand-over too, after those already waiting.
#include <cstddef>
#include <functional>
#include <string_view>

#include "base/LocalTime.h"
#include "core/OperatorInterface.h"
#include "window/LogHandOver.h"
#include "window/WindowThreadCaller.h"

namespace kestrom {

class CLogCourier {
  public:
    inline static constexpr std::size_t kLinesPerTake = 500;
    // Called on the window's thread with each batch taken.
    using Sink = std::function<void(const CLogHandOver::Batch&)>;

    // The hand-over starts with the settings' default backlog.
    CLogCourier(CWindowThreadCaller& caller, Sink sink);

    void SetBacklog(std::size_t lines) { handOver_.SetMaxLines(lines); }
    // Any thread. `show` is the "Log Events" state: false counts error lines only.
    void Add(std::u16string_view text, LogLevel level, bool show,
             const LocalDateTime& when = LocalNow());

  private:
    void Take();

    CWindowThreadCaller& caller_;
    Sink sink_;
    CLogHandOver handOver_;
};

}  // namespace kestrom
