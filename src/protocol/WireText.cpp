#include "protocol/WireText.h"

namespace kestrom {

void AppendForWire(std::string& out, std::u16string_view text, bool singleByte, int charMode) {
    const bool wide = !singleByte && charMode != 0;
    const size_t at = out.size();
    out.resize(at + text.size() * (wide ? 2 : 1));
    char* o = out.data() + at;
    for (char16_t c : text) {
        *o++ = static_cast<char>(c & 0xFF);
        if (wide) *o++ = static_cast<char>(c >> 8);
    }
}

std::string EncodeForWire(std::u16string_view text, bool singleByte, int charMode) {
    std::string out;
    AppendForWire(out, text, singleByte, charMode);
    return out;
}

}  // namespace kestrom
