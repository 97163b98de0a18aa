#pragma once
// Characters to wire bytes by the character mode, for every reply.
#include <string>
#include <string_view>

namespace kestrom {

// The bytes a text becomes on the wire: one byte (the low 8 bits) per character when
// singleByte is set or charMode is 0, else two bytes, low byte first.
std::string EncodeForWire(std::u16string_view text, bool singleByte, int charMode);
// The same, appended to `out`.
void AppendForWire(std::string& out, std::u16string_view text, bool singleByte, int charMode);

}  // namespace kestrom
