#include "wire/WireText.h"

namespace kestrom {

void AppendEncoded(std::string& out, std::u16string_view text, WireMode mode) {
    const bool wide = mode == WireMode::kUnicode;
    const size_t at = out.size();
    out.resize(at + text.size() * BytesPerChar(mode));
    char* o = out.data() + at;
    for (char16_t c : text) {
        *o++ = static_cast<char>(c & 0xFF);
        if (wide) *o++ = static_cast<char>(c >> 8);
    }
}

std::string Encode(std::u16string_view text, WireMode mode) {
    std::string out;
    AppendEncoded(out, text, mode);
    return out;
}

std::u16string Decode(std::string_view bytes, WireMode mode) {
    std::u16string out;
    if (mode == WireMode::kSingleByte) {
        out.resize(bytes.size());
        for (size_t i = 0; i < bytes.size(); ++i)
            out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
        return out;
    }
    out.resize(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

size_t CCharDecoder::Decode(std::string_view bytes, WireMode mode, char16_t* out) {
    char16_t* const begin = out;
    bool hitNul = false;
    if (mode == WireMode::kSingleByte) {
        if (oddByte_) {
            if (*oddByte_ == 0)
                hitNul = true;
            else
                *out++ = static_cast<char16_t>(*oddByte_);
            oddByte_.reset();
        }
        for (size_t i = 0; i < bytes.size() && !hitNul; ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (b == 0)
                hitNul = true;
            else
                *out++ = static_cast<char16_t>(b);
        }
        return static_cast<size_t>(out - begin);
    }
    size_t i = 0;
    auto next = [&]() { return static_cast<unsigned char>(bytes[i++]); };
    size_t available = bytes.size() + (oddByte_ ? 1 : 0);
    while (available >= 2 && !hitNul) {
        unsigned char low;
        if (oddByte_) {
            low = *oddByte_;
            oddByte_.reset();
        } else {
            low = next();
        }
        const unsigned char high = next();
        available -= 2;
        const auto c = static_cast<char16_t>(low | (high << 8));
        if (c == 0)
            hitNul = true;
        else
            *out++ = c;
    }
    if (!hitNul && available == 1) oddByte_ = oddByte_ ? *oddByte_ : next();
    if (hitNul) oddByte_.reset();
    return static_cast<size_t>(out - begin);
}

}  // namespace kestrom
