#include "window/PortField.h"

#include "app/CommandLine.h"
#include "window/WindowTexts.h"

namespace kestrom {

bool IsSpaceChar(char16_t c) {
    if (c == u' ' || (c >= u'\t' && c <= u'\r')) return true;
    if (c < 0x85) return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::u16string_view TrimSpaces(std::u16string_view text) {
    while (!text.empty() && IsSpaceChar(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpaceChar(text.back())) text.remove_suffix(1);
    return text;
}

CPortCheck CheckPortText(std::u16string_view text) {
    const std::u16string_view digits = TrimSpaces(text);
    bool digitsOnly = !digits.empty();
    for (char16_t c : digits) digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    if (!digitsOnly) return {false, 0, std::u16string(texts::kPortNotAnInteger)};
    // Read with a ceiling, so a long run of digits is out of range rather than wrapped.
    unsigned long long value = 0;
    for (char16_t c : digits) {
        value = value * 10 + static_cast<unsigned>(c - u'0');
        if (value > static_cast<unsigned>(kMaxPortNumber)) break;
    }
    if (value < kPortMin || value > static_cast<unsigned>(kMaxPortNumber))
        return {false, 0, PortRangeText()};
    return {true, static_cast<unsigned>(value), {}};
}

}  // namespace kestrom
