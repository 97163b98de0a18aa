#include "wire/WireChars.h"

namespace kestrom {

std::u16string Scramble(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = static_cast<char16_t>(c + kScrambleOffset);
    return out;
}

std::u16string Unscramble(std::u16string_view text) {
    std::u16string out(text);
    UnscrambleInPlace(out);
    return out;
}

void UnscrambleInPlace(std::u16string& text) {
    for (char16_t& c : text) c = static_cast<char16_t>(c - kScrambleOffset);
}

}  // namespace kestrom
