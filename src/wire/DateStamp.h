#pragma once
// The 14-digit date stamp HHMMSSDDMMYYYY (local time) that requests and replies carry for
// the copy of a file a device holds and the file the server has.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "base/LocalTime.h"

namespace kestrom {

// Seconds since 1970-01-01 UTC; built from and shown as local calendar values.
using TimeValue = std::time_t;

// The six numbers of HHMMSSDDMMYYYY at their fixed positions, as they stand (0 for a
// position past the end); no range is checked.
LocalDateTime ReadDateStampFields(std::u16string_view text);

// Reads HHMMSSDDMMYYYY (local time) from fixed positions; characters after the fourteenth
// are ignored. A day outside 1-31 or a month outside 1-12 becomes 1, a year below 1900
// becomes 1970. Nothing when the values form no valid time (year before 1970, hour above 23,
// minute or second above 59, negative values, or a time local time cannot represent).
std::optional<TimeValue> ReadDateStamp(std::u16string_view text);

// The 14-digit date stamp of a time value, in local time.
std::u16string FormatDateStamp(TimeValue time);

}  // namespace kestrom
