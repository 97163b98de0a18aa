#pragma once
// What every message on the wire is made of: the control characters that frame it, the
// character mode that decides how characters become bytes, and the +71 scrambling that some
// payloads travel with in single-byte mode.
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrom {

inline constexpr char16_t kSOH = u'\x0001';
inline constexpr char16_t kSTX = u'\x0002';
inline constexpr char16_t kETX = u'\x0003';
inline constexpr char16_t kEOT = u'\x0004';

// How characters travel: one byte each (the low 8 bits), or two bytes each, low byte first.
enum class WireMode { kSingleByte, kUnicode };

// The wire's mode for the CharMode setting: 0 is single byte, any other value two bytes.
constexpr WireMode WireModeOf(int charModeSetting) {
    return charModeSetting != 0 ? WireMode::kUnicode : WireMode::kSingleByte;
}

constexpr size_t BytesPerChar(WireMode mode) {
    return mode == WireMode::kUnicode ? 2 : 1;
}

// Offset added to each character by the sender of a scrambled payload (16-bit arithmetic).
inline constexpr char16_t kScrambleOffset = 71;

// +71 on every character, wrapping modulo 65536.
std::u16string Scramble(std::u16string_view text);
// -71 on every character, wrapping modulo 65536.
std::u16string Unscramble(std::u16string_view text);
// The same on the text itself, for an upload of megabytes that needs no second copy.
void UnscrambleInPlace(std::u16string& text);

}  // namespace kestrom
