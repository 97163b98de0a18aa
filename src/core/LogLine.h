#pragma once
// The event log's line format, shared by the window and the daemon's standard output.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/LocalTime.h"

namespace kestrom {

inline constexpr size_t kLogMessageChars = 128;

// "MM/DD/YYYY HH:MM:SS", three blanks and the first 128 characters of the message (one less
// when the cut would split a surrogate pair), as UTF-8.
std::string FormatLogLine(const LocalDateTime& when, std::u16string_view message);

// The line a log sink writes when it takes lines again after dropping `lost` of them because
// its reader fell behind.
std::u16string LostLogLinesMessage(std::uint64_t lost);

}  // namespace kestrom
