#include "core/LogLine.h"

#include <algorithm>

#include "base/NumberText.h"
#include "base/TextConvert.h"

namespace kestrom {

std::string FormatLogLine(const LocalDateTime& when, std::u16string_view message) {
    std::string line;
    line.reserve(22 + 3 * kLogMessageChars + 1);  // room for the caller's line end
    // "MM/DD/YYYY HH:MM:SS" and three blanks.
    const struct {
        int value;
        int width;
        const char* after;
    } fields[] = {{when.month, 2, "/"}, {when.day, 2, "/"},    {when.year, 4, " "},
                  {when.hour, 2, ":"},  {when.minute, 2, ":"}, {when.second, 2, "   "}};
    for (const auto& field : fields) {
        AppendZeroPadded(line, field.value, field.width);
        line += field.after;
    }
    size_t length = std::min(message.size(), kLogMessageChars);
    if (length < message.size() && length > 0 && message[length - 1] >= 0xD800 &&
        message[length - 1] <= 0xDBFF)
        --length;
    AppendUtf8(line, message.substr(0, length));
    return line;
}

std::u16string LostLogLinesMessage(std::uint64_t lost) {
    return FromUtf8(std::to_string(lost) +
                    " log lines were dropped because the event log fell behind");
}

}  // namespace kestrom
