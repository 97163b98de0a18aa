#include "base/TextScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrom {

void WidenBytes(const unsigned char* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
#endif
    for (; i < n; ++i) out[i] = in[i];
}

void NarrowUnits(const char16_t* in, std::size_t n, unsigned char* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Masked to the low byte first, so the saturating pack keeps it unchanged.
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (; i + 16 <= n; i += 16) {
        const __m128i a =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), low);
        const __m128i b =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8)), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
    }
#endif
    for (; i < n; ++i) out[i] = static_cast<unsigned char>(in[i] & 0xFF);
}

std::size_t FindUnit(std::u16string_view text, char16_t unit, std::size_t from) {
    const std::size_t n = text.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
    }
#endif
    for (; i < n; ++i)
        if (text[i] == unit) return i;
    return std::u16string_view::npos;
}

}  // namespace kestrom
