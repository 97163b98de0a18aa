#pragma once
// Decimal numbers in text, read the way the C library's atoi/wcstol family reads them: the
// one conversion used wherever stored or received text becomes an integer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrom {

// Skips leading white space (blank, tab, LF, VT, FF, CR), takes an optional sign, then the
// decimal digits up to the first other character. No digits give 0 ("", "abc"); "12x" gives
// 12. A value outside the 32-bit range is clamped to INT32_MIN / INT32_MAX. When `consumed`
// is given it receives the number of characters used, 0 when there were no digits.
int32_t ReadDecimal(std::u16string_view text, std::size_t* consumed = nullptr);

// The value of a hexadecimal digit in either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Appends value in decimal, padded with zeros to at least width characters, as printf's
// "%0*d" writes it (a minus sign counts in the width). For the fixed-width fields of names,
// stamps and log lines, which are made on every request.
template <typename CharT>
void AppendZeroPadded(std::basic_string<CharT>& out, int value, int width) {
    char digits[12];
    int n = 0;
    // Unsigned, so the most negative value has a magnitude too.
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        out += static_cast<CharT>('-');
        --width;
    }
    for (int pad = width - n; pad > 0; --pad) out += static_cast<CharT>('0');
    while (n > 0) out += static_cast<CharT>(digits[--n]);
}

}  // namespace kestrom
