#include "wire/Records.h"

#include <cstdio>

namespace kestrom {

std::u16string BuildRequest(std::u16string_view code, std::u16string_view payload,
                            std::u16string_view trailer) {
    std::u16string text;
    text.reserve(code.size() + payload.size() + trailer.size() + 4);
    text += kSOH;
    text += code;
    text += kSTX;
    text += payload;
    text += kETX;
    text += trailer;
    text += kEOT;
    return text;
}

std::u16string ReplyHeader(std::u16string_view code, size_t payloadBytes) {
    const std::string size = std::to_string(payloadBytes + 3);
    std::u16string header;
    header.reserve(code.size() + size.size() + 7);
    header += kSOH;
    header += code;
    header += u",PSZ=";
    header.append(size.begin(), size.end());
    header += kSTX;
    return header;
}

std::u16string BuildReplyRecord(std::u16string_view code, std::u16string_view payload,
                                WireMode mode) {
    std::u16string record = ReplyHeader(code, payload.size() * BytesPerChar(mode));
    record.reserve(record.size() + payload.size() + 2);
    record += payload;
    record += kReplyTrailerText;
    return record;
}

std::optional<std::uint32_t> ComputeUploadChecksum(std::u16string_view message, size_t etx,
                                                   bool withHighBytes) {
    const size_t last = etx + kChecksumTag.size();
    if (etx >= message.size() || last >= message.size()) return std::nullopt;
    std::uint32_t sum = 0;
    for (size_t i = 0; i <= last; ++i) {
        const char16_t c = message[i];
        sum += c & 0xFFu;
        if (withHighBytes) sum += (c >> 8) & 0xFFu;
    }
    return sum;
}

std::optional<std::uint32_t> ReadUploadChecksum(std::u16string_view message, size_t etx) {
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

std::u16string BuildUploadMessage(std::u16string_view code, std::u16string_view payload,
                                  bool withHighBytes) {
    std::u16string message;
    message.reserve(payload.size() + code.size() + 16);
    message.push_back(kSOH);
    message.append(code);
    message.push_back(kSTX);
    message.append(payload);
    const size_t etx = message.size();
    message.push_back(kETX);
    message.append(kChecksumTag);
    const std::uint32_t sum = ComputeUploadChecksum(message, etx, withHighBytes).value_or(0);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(sum));
    message.append(hex, hex + 8);
    message.push_back(kEOT);
    return message;
}

}  // namespace kestrom
