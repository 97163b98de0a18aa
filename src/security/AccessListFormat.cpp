#include "security/AccessListFormat.h"

#include <algorithm>
#include <optional>

namespace kestrom {

namespace {

void PutU8(std::string& out, uint8_t v) {
    out += static_cast<char>(v);
}

void PutU16(std::string& out, uint16_t v) {
    PutU8(out, static_cast<uint8_t>(v & 0xFF));
    PutU8(out, static_cast<uint8_t>(v >> 8));
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, static_cast<uint16_t>(v & 0xFFFF));
    PutU16(out, static_cast<uint16_t>(v >> 16));
}

void PutText(std::string& out, std::u16string_view text) {
    PutU8(out, 0xFF);
    PutU16(out, 0xFFFE);
    size_t length = text.size();
    if (length < 0xFF) {
        PutU8(out, static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        PutU8(out, 0xFF);
        PutU16(out, static_cast<uint16_t>(length));
    } else {
        PutU8(out, 0xFF);
        PutU16(out, 0xFFFF);
        PutU32(out, static_cast<uint32_t>(length));
    }
    for (char16_t c : text) PutU16(out, static_cast<uint16_t>(c));
}

// Sequential little-endian reader; a failed read leaves the position at the end so every
// later read fails too, as a real end of file would.
class CByteReader {
  public:
    explicit CByteReader(std::string_view bytes) : bytes_(bytes) {}

    size_t Remaining() const { return bytes_.size() - pos_; }

    std::optional<uint64_t> Read(size_t width) {
        if (Remaining() < width) {
            pos_ = bytes_.size();
            return std::nullopt;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i)
            v |= static_cast<uint64_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
        pos_ += width;
        return v;
    }

    void Exhaust() { pos_ = bytes_.size(); }

    std::optional<std::string_view> Take(uint64_t count) {
        if (Remaining() < count) {
            pos_ = bytes_.size();
            return std::nullopt;
        }
        std::string_view out = bytes_.substr(pos_, static_cast<size_t>(count));
        pos_ += static_cast<size_t>(count);
        return out;
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// Length continued from a 16-bit value: below 0xFFFF it is the length; else a 32-bit one
// follows, and 0xFFFFFFFF announces a 64-bit one.
std::optional<uint64_t> ReadLongLength(CByteReader& in, uint64_t w) {
    if (w < 0xFFFF) return w;
    auto d = in.Read(4);
    if (!d) return std::nullopt;
    if (*d != 0xFFFFFFFFu) return d;
    return in.Read(8);
}

std::optional<std::u16string> ReadText(CByteReader& in) {
    auto b = in.Read(1);
    if (!b) return std::nullopt;
    bool wide = false;
    std::optional<uint64_t> length;
    if (*b < 0xFF) {
        length = b;
    } else {
        auto w = in.Read(2);
        if (!w) return std::nullopt;
        if (*w == 0xFFFE) {
            wide = true;
            auto b2 = in.Read(1);
            if (!b2) return std::nullopt;
            if (*b2 < 0xFF) {
                length = b2;
            } else {
                auto w2 = in.Read(2);
                if (!w2) return std::nullopt;
                length = ReadLongLength(in, *w2);
            }
        } else {
            length = ReadLongLength(in, *w);
        }
    }
    if (!length) return std::nullopt;
    if (!wide) {
        auto raw = in.Take(*length);
        if (!raw) return std::nullopt;
        return WidenWindows1252(*raw);
    }
    // Checked before doubling so an absurd length cannot wrap around.
    if (*length > in.Remaining() / 2) {
        in.Exhaust();
        return std::nullopt;
    }
    auto raw = in.Take(*length * 2);
    std::u16string text;
    text.reserve(static_cast<size_t>(*length));
    for (size_t i = 0; i + 1 < raw->size(); i += 2) {
        text += static_cast<char16_t>(static_cast<uint8_t>((*raw)[i]) |
                                      (static_cast<uint8_t>((*raw)[i + 1]) << 8));
    }
    return text;
}

// Fills the entry field by field; the first failure ends the record.
void ReadRecord(CByteReader& in, CAccessControlItem& item) {
    auto marker = in.Read(4);
    if (!marker || *marker != kAccessRecordMarker) return;
    std::u16string* texts[] = {&item.macByte1, &item.macByte2, &item.macByte3, &item.macByte4,
                               &item.macByte5, &item.macByte6, &item.name};
    for (std::u16string* text : texts) {
        auto value = ReadText(in);
        if (!value) return;
        *text = std::move(*value);
    }
    int32_t* numbers[] = {&item.enabled, &item.allowWenlow, &item.allowClerkOrvo,
                          &item.allowFieldOrvo};
    for (int32_t* number : numbers) {
        auto value = in.Read(4);
        if (!value) return;
        *number = static_cast<int32_t>(static_cast<uint32_t>(*value));
    }
}

}  // namespace

std::string SerializeAccessList(const std::vector<CAccessControlItem>& items) {
    std::string out;
    if (items.size() < 0xFFFF) {
        PutU16(out, static_cast<uint16_t>(items.size()));
    } else {
        PutU16(out, 0xFFFF);
        PutU32(out, static_cast<uint32_t>(items.size()));
    }
    for (const auto& item : items) {
        PutU32(out, kAccessRecordMarker);
        for (const auto* text : {&item.macByte1, &item.macByte2, &item.macByte3, &item.macByte4,
                                 &item.macByte5, &item.macByte6, &item.name})
            PutText(out, *text);
        for (int32_t number :
             {item.enabled, item.allowWenlow, item.allowClerkOrvo, item.allowFieldOrvo})
            PutU32(out, static_cast<uint32_t>(number));
    }
    return out;
}

CAccessListParse ParseAccessList(std::string_view bytes) {
    CAccessListParse result;
    CByteReader in(bytes);
    auto count = in.Read(2);
    if (count && *count == 0xFFFF) count = in.Read(4);
    if (!count) {
        result.countMalformed = true;
        return result;
    }
    // A cut-short file legitimately names more entries than it holds, and those load empty;
    // but every present record takes at least four bytes, so a count far beyond that is
    // garbage and must not make us allocate billions of entries.
    uint64_t plausible = std::max<uint64_t>(0xFFFF, in.Remaining() / 4 + 1);
    if (*count > plausible) {
        result.countMalformed = true;
        return result;
    }
    result.items.resize(static_cast<size_t>(*count));
    for (auto& item : result.items) ReadRecord(in, item);
    return result;
}

std::u16string WidenWindows1252(std::string_view bytes) {
    // 0x80-0x9F differ from Latin-1; the five unassigned positions keep their byte value.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        auto b = static_cast<uint8_t>(ch);
        out += (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    }
    return out;
}

}  // namespace kestrom
