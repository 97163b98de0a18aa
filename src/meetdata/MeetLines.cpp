#include "meetdata/MeetLines.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/TextScan.h"

namespace kestrom {

namespace {

constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';
constexpr char16_t kCtrlZ = u'\x1A';
// Reads of this size go from the file straight into the reader's buffer.
constexpr std::size_t kBlockBytes = 64 * 1024;

template <class Unit>
char16_t UnitValue(Unit u) {
    if constexpr (sizeof(Unit) == 1)
        return static_cast<unsigned char>(u);
    else
        return u;
}

}  // namespace

template <class Unit>
CMeetLineReader<Unit>::CMeetLineReader(CFileEx& file, bool bigEndian, std::string_view head)
    : file_(file), bigEndian_(bigEndian) {
    capacity_ = kBlockBytes / sizeof(Unit) + head.size();
    buf_ = std::make_unique_for_overwrite<Unit[]>(capacity_);
    if constexpr (sizeof(Unit) == 1) {
        std::memcpy(buf_.get(), head.data(), head.size());
        end_ = head.size();
    }
    // A file shorter than its first look holds nothing more.
    if (head.size() < 2 && sizeof(Unit) == 1) atEnd_ = true;
}

template <class Unit>
bool CMeetLineReader<Unit>::Refill(std::size_t keepFrom) {
    if (atEnd_) return false;
    const std::size_t kept = end_ - keepFrom;
    const std::size_t blockUnits = kBlockBytes / sizeof(Unit);
    if (kept + blockUnits > capacity_) {
        // A line longer than the free room: the buffer grows to hold it and one more block.
        const std::size_t grown = std::max(capacity_ * 2, kept + blockUnits);
        auto bigger = std::make_unique_for_overwrite<Unit[]>(grown);
        std::memcpy(bigger.get(), buf_.get() + keepFrom, kept * sizeof(Unit));
        buf_ = std::move(bigger);
        capacity_ = grown;
    } else if (kept > 0 && keepFrom > 0) {
        std::memmove(buf_.get(), buf_.get() + keepFrom, kept * sizeof(Unit));
    }
    pos_ -= keepFrom;
    end_ = kept;
    const std::size_t got = file_.Read(buf_.get() + kept, kBlockBytes);
    // CFileEx reads short only at the end of the file; an odd last byte of UTF-16 is no unit.
    if (got < kBlockBytes) atEnd_ = true;
    const std::size_t units = got / sizeof(Unit);
    if constexpr (sizeof(Unit) == 2) {
        const bool swap = bigEndian_ != (std::endian::native == std::endian::big);
        if (swap) {
            Unit* p = buf_.get() + kept;
            for (std::size_t i = 0; i < units; ++i)
                p[i] = static_cast<Unit>((p[i] >> 8) | (p[i] << 8));
        }
    }
    end_ = kept + units;
    return units > 0;
}

template <class Unit>
std::size_t CMeetLineReader<Unit>::FindStop(std::size_t from) const {
    const Unit* p = buf_.get() + from;
    const Unit* end = buf_.get() + end_;
#if defined(__SSE2__)
    // Sixteen bytes at a time: a line end every few dozen characters over megabytes.
    constexpr bool kWide = sizeof(Unit) == 2;
    const auto set = [](char16_t c) {
        return kWide ? _mm_set1_epi16(static_cast<short>(c)) : _mm_set1_epi8(static_cast<char>(c));
    };
    const __m128i cr = set(kCR), lf = set(kLF), z = set(kCtrlZ);
    const auto equal = [](__m128i a, __m128i b) {
        return kWide ? _mm_cmpeq_epi16(a, b) : _mm_cmpeq_epi8(a, b);
    };
    constexpr std::ptrdiff_t kPerBlock = 16 / sizeof(Unit);
    while (end - p >= kPerBlock) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(equal(v, cr), equal(v, lf)), equal(v, z));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return static_cast<std::size_t>(p - buf_.get()) +
                   static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) /
                       sizeof(Unit);
        p += kPerBlock;
    }
#endif
    for (; p < end; ++p) {
        const char16_t c = UnitValue(*p);
        if (c == kCR || c == kLF || c == kCtrlZ) break;
    }
    return static_cast<std::size_t>(p - buf_.get());
}

template <class Unit>
bool CMeetLineReader<Unit>::Next(View& line) {
    // The partner of the last line end is dropped when it comes right after it.
    if (ends_.pendingSkip != 0) {
        if (pos_ == end_ && !Refill(pos_)) return false;
        if (UnitValue(buf_[pos_]) == ends_.pendingSkip) {
            ++pos_;
            if (ends_.mode == LineEnd::kCR) ends_.mode = LineEnd::kCRLF;
            if (ends_.mode == LineEnd::kLF) ends_.mode = LineEnd::kLFCR;
        }
        ends_.pendingSkip = 0;
    }
    std::size_t scan = pos_;
    for (;;) {
        const std::size_t stop = FindStop(scan);
        if (stop == end_) {
            // Refill moves the line's start to the front; what was searched stays searched.
            const std::size_t searched = stop - pos_;
            if (atEnd_ || !Refill(pos_)) {
                atEnd_ = true;
                if (pos_ == end_) return false;
                line = View(buf_.get() + pos_, end_ - pos_);
                pos_ = end_;
                endedByCtrlZ_ = false;
                return true;
            }
            scan = pos_ + searched;
            continue;
        }
        const char16_t ch = UnitValue(buf_[stop]);
        bool ends = true;
        if (ch == kCtrlZ) {
            ends_.pendingSkip = 0;
        } else {
            if (ends_.mode == LineEnd::kAuto) {
                ends_.mode = ch == kLF ? LineEnd::kLF : LineEnd::kCR;
                ends_.endChar = ch;
                ends_.pendingSkip = ch == kLF ? kCR : kLF;
            }
            if (ch == ends_.endChar) {
                if (ends_.mode == LineEnd::kCRLF) ends_.pendingSkip = kLF;
                if (ends_.mode == LineEnd::kLFCR) ends_.pendingSkip = kCR;
            } else if (ch != kLF) {
                ends = false;  // a CR inside a line of a file whose lines end with LF
            }
        }
        if (!ends) {
            scan = stop + 1;
            continue;
        }
        line = View(buf_.get() + pos_, stop - pos_);
        pos_ = stop + 1;
        endedByCtrlZ_ = ch == kCtrlZ;
        return true;
    }
}

template class CMeetLineReader<char>;
template class CMeetLineReader<char16_t>;

void AppendLine(std::u16string& text, std::string_view line) {
    const std::size_t at = text.size();
    text.resize(at + line.size());
    WidenBytes(reinterpret_cast<const unsigned char*>(line.data()), line.size(), text.data() + at);
}

std::u16string_view WideLine(std::string_view line, std::u16string& scratch) {
    scratch.clear();
    AppendLine(scratch, line);
    return scratch;
}

template <class Unit>
bool ReadHeaderKey(std::basic_string_view<Unit> line, CEventInfo& key, std::u16string& scratch) {
    std::int16_t members[3];
    std::size_t i = 0;
    bool simple = true;
    for (int m = 0; m < 3 && simple; ++m) {
        int value = 0;
        std::size_t digits = 0;
        while (i < line.size() && digits <= 4) {
            const char16_t c = UnitValue(line[i]);
            if (c < u'0' || c > u'9') break;
            value = value * 10 + (c - u'0');
            ++digits;
            ++i;
        }
        members[m] = static_cast<std::int16_t>(value);
        const bool last = m == 2;
        simple = digits >= 1 && digits <= 4 &&
                 (last ? i == line.size() || UnitValue(line[i]) == u','
                       : i < line.size() && UnitValue(line[i]) == u',');
        ++i;
    }
    if (simple) {
        key.event = members[0];
        key.round = members[1];
        key.heat = members[2];
        return true;
    }
    return ReadEventKey(WideLine(line, scratch), key);
}

template bool ReadHeaderKey<char>(std::string_view, CEventInfo&, std::u16string&);
template bool ReadHeaderKey<char16_t>(std::u16string_view, CEventInfo&, std::u16string&);

}  // namespace kestrom
