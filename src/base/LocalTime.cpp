#include "base/LocalTime.h"

namespace kestrom {

std::optional<LocalDateTime> ToLocalDateTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    if (::localtime_s(&tm, &t) != 0) return std::nullopt;
#else
    if (!::localtime_r(&t, &tm)) return std::nullopt;
#endif
    return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                         tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

std::optional<std::time_t> FromLocalDateTime(const LocalDateTime& local) {
    if (local.year < 1970 || local.month < 1 || local.month > 12 || local.day < 1 ||
        local.day > 31 || local.hour < 0 || local.hour > 23 || local.minute < 0 ||
        local.minute > 59 || local.second < 0 || local.second > 59) {
        return std::nullopt;
    }
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    // Before the epoch (the first hours of 1970 east of Greenwich) counts as rejected, as it
    // does on Windows, where the date stamps come from; this also covers mktime's -1.
    if (t < 0) return std::nullopt;
    return t;
}

LocalDateTime LocalNow() {
    return ToLocalDateTime(std::time(nullptr)).value_or(LocalDateTime{});
}

}  // namespace kestrom
