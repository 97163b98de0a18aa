#include "protocol/ResultsFiles.h"

#include "base/NumberText.h"
#include "base/Path.h"
#include "protocol/CommandProcessor.h"

namespace kestrom {

std::u16string ResultsFileName(const CEventInfo& key, ResultsNameForm form,
                               std::u16string_view extension, int eventDigits) {
    std::u16string name;
    name.reserve(static_cast<size_t>(eventDigits) + 6 + extension.size());
    const bool dash = form == ResultsNameForm::kDash;
    AppendZeroPadded(name, key.event, eventDigits);
    if (dash) name += u'-';
    AppendZeroPadded(name, key.round, 1);
    if (dash) name += u'-';
    AppendZeroPadded(name, key.heat, 2);
    name += extension;
    return name;
}

FileLookup FindResultsFile(CCommandProcessor& p, std::u16string_view folder, const CEventInfo& key,
                           std::u16string_view extension, int eventDigits, ResultsNameOrder order) {
    const bool dashFirst = order == ResultsNameOrder::kDashFirst;
    const ResultsNameForm first = dashFirst ? ResultsNameForm::kDash : ResultsNameForm::kCompact;
    const ResultsNameForm second = dashFirst ? ResultsNameForm::kCompact : ResultsNameForm::kDash;
    FileLookup lookup = p.FindMeetFile(folder, ResultsFileName(key, first, extension, eventDigits));
    if (lookup.file || !lookup.status) return lookup;
    return p.FindMeetFile(folder, ResultsFileName(key, second, extension, eventDigits));
}

std::optional<CEventInfo> KeyFromResultsName(std::u16string_view name, int eventDigits) {
    constexpr auto npos = std::u16string_view::npos;
    auto at = [&](size_t from, size_t count) {
        return from >= name.size() ? std::u16string_view() : name.substr(from, count);
    };

    size_t p = name.find(u'-');
    std::u16string_view eventText;
    if (p != npos) {
        eventText = name.substr(0, p);
    } else {
        const size_t digits = eventDigits > 0 ? static_cast<size_t>(eventDigits) : 0;
        eventText = name.substr(0, digits);
        p = digits - 1;  // used only when the event text is not empty
    }
    if (eventText.empty() || eventText[0] < u'0' || eventText[0] > u'9') return std::nullopt;

    size_t p2 = name.find(u'-', p + 1);
    std::u16string_view roundText;
    if (p2 != npos) {
        roundText = at(p + 1, p2 - (p + 1));
    } else {
        roundText = at(p + 1, 1);
        p2 = p + 1;
    }
    size_t dot = name.find(u'.', p2 + 1);
    if (dot == npos) return std::nullopt;
    std::u16string_view heatText = name.substr(p2 + 1, dot - (p2 + 1));

    std::int32_t event = ReadDecimal(eventText);
    std::int32_t round = ReadDecimal(roundText);
    std::int32_t heat = ReadDecimal(heatText);
    // A sign in a name ("7-+1-03") gives no heat; numbers wider than the key are kept in 16
    // bits as a request's key is.
    if (event < 0 || round < 0 || heat < 0) return std::nullopt;
    CEventInfo key;
    key.event = KeyMemberFromNumber(static_cast<std::uint64_t>(event));
    key.round = KeyMemberFromNumber(static_cast<std::uint64_t>(round));
    key.heat = KeyMemberFromNumber(static_cast<std::uint64_t>(heat));
    return key;
}

}  // namespace kestrom
