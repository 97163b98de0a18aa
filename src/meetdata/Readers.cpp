#include "meetdata/Readers.h"

#include <array>
#include <climits>

#include "base/LocalTime.h"
#include "base/NumberText.h"

namespace kestrom {

namespace {

// The C library's wide white-space test in the "C" locale.
bool IsWhite(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

constexpr size_t npos = std::u16string_view::npos;

}  // namespace

std::optional<std::u16string_view> CFieldCursor::Next() {
    if (done_) return std::nullopt;
    const std::u16string_view line = line_;
    size_t end = line.find(separator_, start_);
    size_t textBegin = start_;
    size_t textEnd = end == npos ? line.size() : end;
    if (quote_ != 0) {
        // Quoted when only white space (that is not the separator) precedes the quote.
        size_t q = start_;
        while (q < line.size() && line[q] != quote_ && line[q] != separator_ && IsWhite(line[q]))
            ++q;
        if (q < line.size() && line[q] == quote_) {
            // The closing quote is the first one followed, after white space, by the
            // separator or the end of the line.
            for (size_t c = line.find(quote_, q + 1); c != npos; c = line.find(quote_, c + 1)) {
                size_t k = c + 1;
                while (k < line.size() && line[k] != separator_ && IsWhite(line[k])) ++k;
                if (k == line.size() || line[k] == separator_) {
                    textBegin = q + 1;
                    textEnd = c;
                    end = k == line.size() ? npos : k;
                    break;
                }
            }
        }
    }
    if (end == npos)
        done_ = true;
    else
        start_ = end + 1;
    return line.substr(textBegin, textEnd > textBegin ? textEnd - textBegin : 0);
}

std::optional<std::u16string_view> ReadField(std::u16string_view line, int index,
                                             char16_t separator, char16_t quote) {
    if (index < 0) return std::nullopt;
    CFieldCursor fields(line, separator, quote);
    for (;;) {
        auto field = fields.Next();
        if (!field) return std::nullopt;
        if (index-- == 0) {
            if (field->empty()) return std::nullopt;
            return field;
        }
    }
}

std::int16_t KeyMemberFromNumber(std::uint64_t value) {
    if (value <= 32767) return static_cast<std::int16_t>(value);
    if (value < 65535) return static_cast<std::int16_t>(static_cast<std::int32_t>(value) - 65536);
    return INT16_MIN;
}

bool ReadEventKey(std::u16string_view text, CEventInfo& key, char16_t* mark) {
    key.event = key.round = key.heat = -1;
    std::int16_t* members[3] = {&key.event, &key.round, &key.heat};
    for (int i = 0; i < 3; ++i) {
        auto field = ReadField(text, i);
        if (!field) continue;
        // All digits; the number stops growing once it is past the 16-bit range, which is
        // all KeyMemberFromNumber needs to know.
        std::uint32_t value = 0;
        for (char16_t c : *field) {
            if (!IsDigit(c)) return false;
            if (value <= 65535) value = value * 10 + static_cast<std::uint32_t>(c - u'0');
        }
        *members[i] = KeyMemberFromNumber(value);
    }
    if (key.event == -1 || key.round == -1 || key.heat == -1) return false;
    if (mark) {
        *mark = kNoDirection;
        auto field = ReadField(text, 3);
        if (field && (*field == u"+" || *field == u"-")) *mark = (*field)[0];
    }
    return true;
}

std::u16string EventKeyText(const CEventInfo& key, char16_t separator) {
    std::u16string text = u"(";
    for (const std::int16_t member : {key.event, key.round, key.heat}) {
        if (text.size() > 1) text += separator;
        const std::string digits = std::to_string(member);
        text.append(digits.begin(), digits.end());
    }
    text += u')';
    return text;
}

bool IsFieldEvent(std::u16string_view headerLine) {
    static constexpr std::array<std::u16string_view, 10> kFieldEventCodes = {
        u"HJ", u"HT", u"VJ", u"PV", u"LJ", u"TJ", u"SP", u"WT", u"DT", u"JT"};
    auto type = ReadField(headerLine, 4);
    if (!type) return false;
    std::u16string_view code = type->substr(0, 2);
    for (auto c : kFieldEventCodes)
        if (code == c) return true;
    return false;
}

namespace {

// 1970-01-02 00:01:00 local time: late enough after the epoch to exist in every time zone.
TimeValue InitialEventTime() {
    static const TimeValue initial =
        FromLocalDateTime(LocalDateTime{1970, 1, 2, 0, 1, 0}).value_or(24 * 3600 + 60);
    return initial;
}

}  // namespace

CEventInfo::CEventInfo() : time(InitialEventTime()) {}

CEventInfo::CEventInfo(std::int16_t e, std::int16_t r, std::int16_t h, TimeValue t)
    : event(e), round(r), heat(h), time(t) {}

}  // namespace kestrom
