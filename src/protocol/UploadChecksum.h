#pragma once
// The checksum of a results upload: "CHK=" and eight hexadecimal digits after ETX, over the
// message from SOH through that "CHK=". Header only, so kestrom-client builds its uploads
// with the very functions the server checks them with.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/RequestGrammar.h"

namespace kestrom {

inline constexpr std::u16string_view kChecksumTag = u"CHK=";

// Sum (32 bits, wrapping) of the low byte of every character from the first through the
// fourth after `etx`, plus every high byte when `charMode` is 1. Nothing when the message
// ends before that.
inline std::optional<std::uint32_t> ComputeUploadChecksum(std::u16string_view message, size_t etx,
                                                          int charMode) {
    const size_t last = etx + kChecksumTag.size();
    if (etx >= message.size() || last >= message.size()) return std::nullopt;
    std::uint32_t sum = 0;
    for (size_t i = 0; i <= last; ++i) {
        const char16_t c = message[i];
        sum += c & 0xFFu;
        if (charMode == 1) sum += (c >> 8) & 0xFFu;
    }
    return sum;
}

// The eight characters after the first "CHK=" at or after `etx`, read as hexadecimal, most
// significant first (either case; any other character counts as 255 in its place). Nothing
// when there is no "CHK=" there or fewer than eight characters follow it.
inline std::optional<std::uint32_t> ReadUploadChecksum(std::u16string_view message, size_t etx) {
    const size_t tag = message.find(kChecksumTag, etx);
    if (tag == std::u16string_view::npos) return std::nullopt;
    const size_t first = tag + kChecksumTag.size();
    if (message.size() - first < 8) return std::nullopt;
    std::uint32_t value = 0;
    for (size_t i = 0; i < 8; ++i) {
        const char16_t c = message[first + i];
        std::uint32_t digit = 255;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        value = value * 16 + digit;
    }
    return value;
}

// SOH code STX payload ETX "CHK=" checksum EOT, as a device sends it. `payload` goes in as
// given (the caller scrambles it in single-byte mode).
inline std::u16string BuildUploadMessage(std::u16string_view code, std::u16string_view payload,
                                         int charMode) {
    std::u16string message;
    message.reserve(payload.size() + code.size() + 16);
    message.push_back(kSOH);
    message.append(code);
    message.push_back(kSTX);
    message.append(payload);
    const size_t etx = message.size();
    message.push_back(kETX);
    message.append(kChecksumTag);
    const std::uint32_t sum = ComputeUploadChecksum(message, etx, charMode).value_or(0);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(sum));
    message.append(hex, hex + 8);
    message.push_back(kEOT);
    return message;
}

}  // namespace kestrom
