#include "app/LogLine.h"

#include <algorithm>
#include <cstdio>

#include "fileio/TextConvert.h"

namespace kestrom {

std::string FormatLogLine(const LocalDateTime& when, std::u16string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d   ", when.month, when.day,
                  when.year, when.hour, when.minute, when.second);
    size_t length = std::min(message.size(), kLogMessageChars);
    if (length < message.size() && length > 0 && message[length - 1] >= 0xD800 &&
        message[length - 1] <= 0xDBFF)
        --length;
    return stamp + ToUtf8(message.substr(0, length));
}

}  // namespace kestrom
