#include "wire/Records.h"

#include <cstdio>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kestrom {

std::u16string BuildRequest(std::u16string_view code, std::u16string_view payload,
                            std::u16string_view trailer) {
    std::u16string text;
    text.reserve(code.size() + payload.size() + trailer.size() + 4);
    text += kSOH;
    text += code;
    text += kSTX;
    text += payload;
    text += kETX;
    text += trailer;
    text += kEOT;
    return text;
}

std::u16string ReplyHeader(std::u16string_view code, size_t payloadBytes) {
    const std::string size = std::to_string(payloadBytes + 3);
    std::u16string header;
    header.reserve(code.size() + size.size() + 7);
    header += kSOH;
    header += code;
    header += u",PSZ=";
    header.append(size.begin(), size.end());
    header += kSTX;
    return header;
}

std::u16string BuildReplyRecord(std::u16string_view code, std::u16string_view payload,
                                WireMode mode) {
    std::u16string record = ReplyHeader(code, payload.size() * BytesPerChar(mode));
    record.reserve(record.size() + payload.size() + 2);
    record += payload;
    record += kReplyTrailerText;
    return record;
}

namespace {

std::uint32_t ByteSum(const char16_t* chars, size_t count, bool withHighBytes) {
    std::uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum += chars[i] & 0xFFu;
        if (withHighBytes) sum += (chars[i] >> 8) & 0xFFu;
    }
    return sum;
}

inline __attribute__((always_inline)) void PutStored(char*& out, char16_t c, bool wide) {
    if (c == u'\r' || c == u'\n') {
        *out++ = '\r';
        if (wide) *out++ = 0;
        *out++ = '\n';
        if (wide) *out++ = 0;
        return;
    }
    *out++ = static_cast<char>(c & 0xFF);
    if (wide) *out++ = static_cast<char>(c >> 8);
}

#ifdef __SSE2__
// Eight characters at a time: each block is tested for ETX (and, until one is met, STX) and
// its bytes are summed; a block that holds an ETX is left to the caller, one character at a
// time. Returns where that block starts (or the last whole block's end).
size_t ScanBlocks(const char16_t* chars, size_t count, bool withHighBytes, size_t& stx,
                  std::uint64_t& sum) {
    const __m128i etxes = _mm_set1_epi16(kETX);
    const __m128i stxes = _mm_set1_epi16(kSTX);
    const __m128i keep = withHighBytes ? _mm_set1_epi16(-1) : _mm_set1_epi16(0x00FF);
    const __m128i zero = _mm_setzero_si128();
    __m128i total = zero;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, etxes)) != 0) break;
        if (stx == std::u16string_view::npos) {
            const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(v, stxes));
            if (hits != 0)
                stx = i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(hits))) / 2;
        }
        total = _mm_add_epi64(total, _mm_sad_epu8(_mm_and_si128(v, keep), zero));
    }
    sum += static_cast<std::uint64_t>(_mm_cvtsi128_si64(total)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
    return i;
}
#endif

}  // namespace

std::optional<std::uint32_t> ComputeUploadChecksum(std::u16string_view message, size_t etx,
                                                   bool withHighBytes) {
    const size_t last = etx + kChecksumTag.size();
    if (etx >= message.size() || last >= message.size()) return std::nullopt;
    return ByteSum(message.data(), last + 1, withHighBytes);
}

CUploadScan ScanUpload(std::u16string_view message, bool withHighBytes) {
    constexpr size_t npos = std::u16string_view::npos;
    CUploadScan scan;
    size_t stx = npos;
    std::uint64_t sum = 0;
    size_t i = 0;
#ifdef __SSE2__
    i = ScanBlocks(message.data(), message.size(), withHighBytes, stx, sum);
#endif
    for (; i < message.size() && message[i] != kETX; ++i) {
        if (message[i] == kSTX && stx == npos) stx = i;
        sum += ByteSum(&message[i], 1, withHighBytes);
    }
    // Without an ETX, or with the first STX behind it, there is no payload.
    if (i == message.size() || stx == npos) return scan;
    scan.stx = stx;
    scan.etx = i;
    scan.bounded = true;
    const size_t last = i + kChecksumTag.size();
    if (last < message.size())
        scan.checksum =
            static_cast<std::uint32_t>(sum) + ByteSum(&message[i], last - i + 1, withHighBytes);
    return scan;
}

size_t StoredUploadBytes(std::u16string_view payload, bool unscramble, bool wide, char* out) {
    const char16_t offset = unscramble ? kScrambleOffset : 0;
    char* const begin = out;
    size_t i = 0;
#ifdef __SSE2__
    // Eight characters at a time while a block holds no line end.
    const __m128i offsets = _mm_set1_epi16(static_cast<short>(offset));
    const __m128i crs = _mm_set1_epi16(u'\r');
    const __m128i lfs = _mm_set1_epi16(u'\n');
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (; i + 8 <= payload.size(); i += 8) {
        const __m128i v = _mm_sub_epi16(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(payload.data() + i)), offsets);
        const int ends =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, crs), _mm_cmpeq_epi16(v, lfs)));
        // The whole block goes out as it is; a line end in it is written again from there on.
        const size_t kept =
            ends == 0 ? 8 : static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(ends))) / 2;
        if (wide) {
            // Low byte first, as x86 holds them.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                             _mm_packus_epi16(_mm_and_si128(v, low), low));
        }
        out += kept * (wide ? 2 : 1);
        for (size_t k = kept; k < 8; ++k)
            PutStored(out, static_cast<char16_t>(payload[i + k] - offset), wide);
    }
#endif
    for (; i < payload.size(); ++i) {
        PutStored(out, static_cast<char16_t>(payload[i] - offset), wide);
    }
    return static_cast<size_t>(out - begin);
}

std::optional<std::uint32_t> ReadUploadChecksum(std::u16string_view message, size_t etx) {
    const size_t tag = message.find(kChecksumTag, etx);
    if (tag == std::u16string_view::npos) return std::nullopt;
    const size_t first = tag + kChecksumTag.size();
    if (message.size() - first < 8) return std::nullopt;
    std::uint32_t value = 0;
    for (size_t i = 0; i < 8; ++i) {
        const char16_t c = message[first + i];
        std::uint32_t digit = 255;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        value = value * 16 + digit;
    }
    return value;
}

std::u16string BuildUploadMessage(std::u16string_view code, std::u16string_view payload,
                                  bool withHighBytes) {
    std::u16string message;
    message.reserve(payload.size() + code.size() + 16);
    message.push_back(kSOH);
    message.append(code);
    message.push_back(kSTX);
    message.append(payload);
    const size_t etx = message.size();
    message.push_back(kETX);
    message.append(kChecksumTag);
    const std::uint32_t sum = ComputeUploadChecksum(message, etx, withHighBytes).value_or(0);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(sum));
    message.append(hex, hex + 8);
    message.push_back(kEOT);
    return message;
}

}  // namespace kestrom
