#pragma once
// Keeps a log line that a flood could repeat to one line per interval; the next line written
// says how many were held back.
#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kestrom {

class CLogThrottle {
  public:
    using Clock = std::chrono::steady_clock;
    explicit CLogThrottle(std::chrono::milliseconds interval = std::chrono::seconds(10))
        : interval_(interval) {}

    // The line to write now (with the count of lines held back since the last one), or
    // nothing when this one is held back.
    std::optional<std::u16string> Pass(std::u16string_view line,
                                       Clock::time_point now = Clock::now());

  private:
    const std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::optional<Clock::time_point> last_;
    size_t held_ = 0;
};

}  // namespace kestrom
