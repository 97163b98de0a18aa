#pragma once
// The port field is read like the dialog framework's unsigned-integer exchange with a range
// check, and fails with the framework's own messages.
#include <string>
#include <string_view>

namespace kestrom {

inline constexpr unsigned kPortMin = 1;

struct CPortCheck {
    bool ok = false;
    unsigned port = 0;
    std::u16string error;  // the validation message when !ok
};

// Blanks around the digits are ignored, as Qt and Windows both ignore them.
CPortCheck CheckPortText(std::u16string_view text);

// Whether `c` is white space by Unicode (the separators and the controls \t to \r and U+0085),
// as both toolkits trim text fields.
bool IsSpaceChar(char16_t c);
// `text` without the white space at either end.
std::u16string_view TrimSpaces(std::u16string_view text);

}  // namespace kestrom
