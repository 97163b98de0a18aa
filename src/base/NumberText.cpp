#include "base/NumberText.h"

#include <limits>

namespace kestrom {

namespace {

bool IsCBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

int32_t ReadDecimal(std::u16string_view text, std::size_t* consumed) {
    std::size_t i = 0;
    while (i < text.size() && IsCBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const std::size_t firstDigit = i;
    // Accumulate in 64 bits and stop growing once past the 32-bit range, so long digit runs
    // cannot overflow the accumulator.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - u'0');
        ++i;
    }
    if (i == firstDigit) {
        if (consumed) *consumed = 0;
        return 0;
    }
    if (consumed) *consumed = i;
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace kestrom
