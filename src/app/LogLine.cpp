#include "app/LogLine.h"

#include <algorithm>

#include "fileio/NumberText.h"
#include "fileio/TextConvert.h"

namespace kestrom {

std::string FormatLogLine(const LocalDateTime& when, std::u16string_view message) {
    std::string line;
    line.reserve(22 + 3 * kLogMessageChars + 1);  // room for the caller's line end
    AppendZeroPadded(line, when.month, 2);
    line += '/';
    AppendZeroPadded(line, when.day, 2);
    line += '/';
    AppendZeroPadded(line, when.year, 4);
    line += ' ';
    AppendZeroPadded(line, when.hour, 2);
    line += ':';
    AppendZeroPadded(line, when.minute, 2);
    line += ':';
    AppendZeroPadded(line, when.second, 2);
    line += "   ";
    size_t length = std::min(message.size(), kLogMessageChars);
    if (length < message.size() && length > 0 && message[length - 1] >= 0xD800 &&
        message[length - 1] <= 0xDBFF)
        --length;
    AppendUtf8(line, message.substr(0, length));
    return line;
}

}  // namespace kestrom
