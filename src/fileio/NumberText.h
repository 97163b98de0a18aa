#pragma once
// Decimal numbers in text, read the way the C library's atoi/wcstol family reads them: the
// one conversion used wherever stored or received text becomes an integer.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrom {

// Skips leading white space (blank, tab, LF, VT, FF, CR), takes an optional sign, then the
// decimal digits up to the first other character. No digits give 0 ("", "abc"); "12x" gives
// 12. A value outside the 32-bit range is clamped to INT32_MIN / INT32_MAX. When `consumed`
// is given it receives the number of characters used, 0 when there were no digits.
int32_t ReadDecimal(std::u16string_view text, std::size_t* consumed = nullptr);

}  // namespace kestrom
