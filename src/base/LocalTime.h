#pragma once
// Local time, with daylight saving decided by the system; the ground of date stamps and log
// time stamps.
#include <ctime>
#include <optional>

namespace kestrom {

// Calendar fields as people write them: month 1-12, the full year.
struct LocalDateTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const LocalDateTime&) const = default;
};

// The local time of t; nullopt when the system cannot convert it.
std::optional<LocalDateTime> ToLocalDateTime(std::time_t t);

// The time value of a local time. Fails (nullopt) when a field is out of range (year before
// 1970, month 1-12, day 1-31, hour 0-23, minute and second 0-59) or the system rejects it.
// A day past the month's end rolls over into the next month, as the system does.
std::optional<std::time_t> FromLocalDateTime(const LocalDateTime& local);

// The current local time.
LocalDateTime LocalNow();

}  // namespace kestrom
