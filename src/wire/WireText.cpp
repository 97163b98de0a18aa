#include "wire/WireText.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    size_t i = 0;
    if (mode == WireMode::kSingleByte) {
        if (oddByte_) {
            const unsigned char b = *oddByte_;
            oddByte_.reset();
            if (b == 0) return 0;
            *out++ = b;
        }
#ifdef __SSE2__
        // Sixteen bytes at a time while they hold no NUL.
        const __m128i zero = _mm_setzero_si128();
        for (; i + 16 <= size; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)) != 0) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(v, zero));
            out += 16;
        }
#endif
        for (; i < size && in[i] != 0; ++i) *out++ = in[i];
        return static_cast<size_t>(out - begin);
    }
    if (oddByte_ && size > 0) {
        const auto c = static_cast<char16_t>(*oddByte_ | (in[0] << 8));
        oddByte_.reset();
        if (c == 0) return 0;
        *out++ = c;
        i = 1;
    }
#ifdef __SSE2__
    // Eight pairs at a time while they hold no NUL character; x86 keeps the low byte first,
    // as the wire does.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
        out += 8;
    }
#endif
    for (; i + 2 <= size; i += 2) {
        const auto c = static_cast<char16_t>(in[i] | (in[i + 1] << 8));
        if (c == 0) {
            oddByte_.reset();
            return static_cast<size_t>(out - begin);
        }
        *out++ = c;
    }
    if (i < size) oddByte_ = in[i];
    return static_cast<size_t>(out - begin);
}

size_t FindChar(std::u16string_view text, char16_t c, size_t from) {
    size_t i = from;
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(c));
    for (; i + 8 <= text.size(); i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
        if (hits != 0)
            return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 2;
    }
#endif
    for (; i < text.size(); ++i)
        if (text[i] == c) return i;
    return std::u16string_view::npos;
}

}  // namespace kestrom
