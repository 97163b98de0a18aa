#pragma once
// The shared grammar of request and reply messages: the control characters, the payload
// boundaries every handler finds the same way, and the +71 scrambling of single-byte mode.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrom {

inline constexpr char16_t kSOH = u'\x0001';
inline constexpr char16_t kSTX = u'\x0002';
inline constexpr char16_t kETX = u'\x0003';
inline constexpr char16_t kEOT = u'\x0004';

// Offset added to each character by the sender of a scrambled payload (16-bit arithmetic).
inline constexpr char16_t kScrambleOffset = 71;

// Where the payload of a message lies: the first STX and the first ETX of the whole message.
struct CPayloadBounds {
    size_t stx = 0;
    size_t etx = 0;
    // The characters strictly between the two.
    std::u16string_view Payload(std::u16string_view message) const {
        return message.substr(stx + 1, etx - stx - 1);
    }
};

// The payload boundaries, or nothing when the request is incomplete: no STX, no ETX, or the
// first ETX before the first STX. Handlers log their own incomplete-command message then.
std::optional<CPayloadBounds> FindPayloadBounds(std::u16string_view message);

// The payload itself, or nothing when the request is incomplete (same rule as above).
std::optional<std::u16string_view> FindPayload(std::u16string_view message);

// +71 on every character, wrapping modulo 65536.
std::u16string Scramble(std::u16string_view text);
// -71 on every character, wrapping modulo 65536.
std::u16string Unscramble(std::u16string_view text);
// The same on the text itself, for an upload of megabytes that needs no second copy.
void UnscrambleInPlace(std::u16string& text);

}  // namespace kestrom
