#pragma once
// Characters to wire bytes and back by the character mode.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "wire/WireChars.h"

namespace kestrom {

// The bytes a text becomes on the wire: the low 8 bits of each character in single-byte mode,
// else its two bytes, low byte first.
std::string Encode(std::u16string_view text, WireMode mode);
// The same, appended to `out`.
void AppendEncoded(std::string& out, std::u16string_view text, WireMode mode);

// The characters of whole bytes; an odd trailing byte in Unicode mode is ignored.
std::u16string Decode(std::string_view bytes, WireMode mode);

// Where `c` first stands in `text` at or after `from`, or npos: a search of megabytes that
// takes eight characters at a time.
size_t FindChar(std::u16string_view text, char16_t c, size_t from = 0);

// Turns the bytes of one read after another into characters, as a connection receives them:
// a byte of a wide character left at the end of a read waits for the next, and a NUL
// character ends the read (it and everything after it in the read are dropped).
class CCharDecoder {
  public:
    // Writes the characters of `bytes` to `out`, which has room for bytes.size() + 1, and
    // returns how many. A byte left over from a Unicode read counts as a character of its own
    // when the next read is in single-byte mode.
    size_t Decode(std::string_view bytes, WireMode mode, char16_t* out);
    bool HasOddByte() const { return oddByte_.has_value(); }
    void Clear() { oddByte_.reset(); }

  private:
    std::optional<unsigned char> oddByte_;
};

}  // namespace kestrom
