#include "net/LogThrottle.h"

#include "base/TextConvert.h"

namespace kestrom {

std::optional<std::u16string> CLogThrottle::Pass(std::u16string_view line, Clock::time_point now) {
    size_t held;
    {
        std::lock_guard lock(mutex_);
        if (last_ && now - *last_ < interval_) {
            ++held_;
            return std::nullopt;
        }
        last_ = now;
        held = held_;
        held_ = 0;
    }
    std::u16string text(line);
    if (held > 0) text += u" (" + U16(std::to_string(held)) + u" more not logged)";
    return text;
}

}  // namespace kestrom
