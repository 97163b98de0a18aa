#include "protocol/ResultsFiles.h"

#include "fileio/NumberText.h"
#include "fileio/Path.h"

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

std::optional<FoundFile> FindFirstFile(std::u16string_view folder, std::u16string_view pattern) {
    if (pattern.find_first_of(u"?*") == std::u16string_view::npos) {
        auto exact = LookUpFile(JoinPath(folder, pattern));
        if (exact && !exact->isDirectory) return exact;
    }
    // The platform's search matches letters without regard to case, so ".QFF" is found too.
    for (auto& f : FindFiles(folder, pattern))
        if (!f.isDirectory) return std::move(f);
    return std::nullopt;
}

std::optional<CEventInfo> KeyFromResultsName(std::u16string_view name, int eventDigits) {
    constexpr auto npos = std::u16string_view::npos;
    auto inKeyRange = [](std::int32_t v) { return v >= 0 && v <= 32767; };
    auto at = [&](size_t from, size_t count) {
        return from >= name.size() ? std::u16string_view() : name.substr(from, count);
    };

    size_t p = name.find(u'-');
    std::u16string_view eventText;
    if (p != npos) {
        eventText = name.substr(0, p);
    } else {
        eventText = name.substr(0, eventDigits);
        p = eventDigits - 1;
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
    // A name outside the 16-bit key names no heat a client can ask for.
    if (!inKeyRange(event) || !inKeyRange(round) || !inKeyRange(heat)) return std::nullopt;
    CEventInfo key;
    key.event = static_cast<std::int16_t>(event);
    key.round = static_cast<std::int16_t>(round);
    key.heat = static_cast<std::int16_t>(heat);
    return key;
}

}  // namespace kestrom
