#include "wire/DateStamp.h"

#include "base/NumberText.h"

namespace kestrom {

LocalDateTime ReadDateStampFields(std::u16string_view text) {
    // Each number is read from a copy of at most its own characters, as a C-library
    // conversion of that copy would read it.
    auto number = [&](size_t pos, size_t count) -> int {
        if (pos >= text.size()) return 0;
        return ReadDecimal(text.substr(pos, count));
    };
    LocalDateTime local;
    local.hour = number(0, 2);
    local.minute = number(2, 2);
    local.second = number(4, 2);
    local.day = number(6, 2);
    local.month = number(8, 2);
    local.year = number(10, 4);
    return local;
}

std::optional<TimeValue> ReadDateStamp(std::u16string_view text) {
    LocalDateTime local = ReadDateStampFields(text);
    if (local.day < 1 || local.day > 31) local.day = 1;
    if (local.month < 1 || local.month > 12) local.month = 1;
    if (local.year < 1900) local.year = 1970;
    auto t = FromLocalDateTime(local);
    if (!t) return std::nullopt;
    return static_cast<TimeValue>(*t);
}

std::u16string FormatDateStamp(TimeValue time) {
    // A time the system cannot show as local time is written as the epoch's stamp rather
    // than as garbage.
    LocalDateTime local = ToLocalDateTime(time).value_or(LocalDateTime{});
    std::u16string stamp;
    stamp.reserve(14);
    AppendZeroPadded(stamp, local.hour, 2);
    AppendZeroPadded(stamp, local.minute, 2);
    AppendZeroPadded(stamp, local.second, 2);
    AppendZeroPadded(stamp, local.day, 2);
    AppendZeroPadded(stamp, local.month, 2);
    AppendZeroPadded(stamp, local.year, 4);
    return stamp;
}

}  // namespace kestrom
