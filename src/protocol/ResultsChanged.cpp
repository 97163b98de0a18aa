#include "protocol/ResultsChanged.h"

#include <charconv>
#include <cstdint>
#include <unordered_map>

#include "base/NumberText.h"
#include "protocol/ResultsFiles.h"

namespace kestrom {

namespace {

std::uint64_t PackKey(const CEventInfo& k) {
    return (std::uint64_t(std::uint16_t(k.event)) << 32) |
           (std::uint64_t(std::uint16_t(k.round)) << 16) | std::uint16_t(k.heat);
}

// Position of the n-th (1-based) `c` in text at or after `from`, or npos.
size_t FindNth(std::u16string_view text, char16_t c, size_t from, int n) {
    size_t pos = text.find(c, from);
    for (int i = 1; i < n && pos != std::u16string_view::npos; ++i) pos = text.find(c, pos + 1);
    return pos;
}

}  // namespace

std::optional<CResultsChangedQuery> ParseResultsChangedQuery(std::u16string_view payload) {
    const size_t comma = payload.find(u',');
    if (comma == std::u16string_view::npos) return std::nullopt;
    CResultsChangedQuery query;
    std::u16string_view first = payload.substr(0, comma);
    if (!first.empty()) {
        switch (first[0]) {
            case u'I':
                query.mode = ChangedMode::kIncluded;
                break;
            case u'E':
                query.mode = ChangedMode::kEvent;
                break;
            case u'R':
                query.mode = ChangedMode::kRound;
                break;
            default:
                break;
        }
        if (query.mode != ChangedMode::kAll) first.remove_prefix(1);
    }
    const std::int32_t count = ReadDecimal(first);

    const std::u16string_view text = payload.substr(comma + 1);
    size_t start = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        if (start >= text.size()) {
            // The count promised more entries than were sent; one line says so, rather than
            // one per missing entry of a count that may be huge.
            ++query.badEntries;
            break;
        }
        const size_t third = FindNth(text, u',', start, 3);
        size_t end = third == std::u16string_view::npos ? text.size() : text.find(u',', third + 1);
        if (end == std::u16string_view::npos) end = text.size();
        const std::u16string_view entry = text.substr(start, end - start);
        start = end + 1;

        CEventInfo info;
        if (third == std::u16string_view::npos || !ReadEventKey(entry, info)) {
            ++query.badEntries;
            continue;
        }
        auto stamp = ReadDateStamp(text.substr(third + 1, end - (third + 1)));
        if (!stamp) {
            ++query.badEntries;
            continue;
        }
        info.time = *stamp;
        query.entries.push_back(info);
    }
    return query;
}

void CResultsChanged::Collect(const CResultsChangedQuery& query,
                              const std::vector<FoundFile>& files, int eventDigits) {
    // The client may list every file it holds: look its copies up by key, first entry wins.
    std::unordered_map<std::uint64_t, TimeValue> copies;
    copies.reserve(query.entries.size());
    for (const auto& e : query.entries) copies.emplace(PackKey(e), e.time);
    const CEventInfo* firstEntry = query.entries.empty() ? nullptr : &query.entries.front();

    for (const auto& f : files) {
        if (f.isDirectory) continue;
        auto key = KeyFromResultsName(f.name, eventDigits);
        if (!key) continue;
        key->time = f.lastWriteTime;
        bool add = false;
        if (auto it = copies.find(PackKey(*key)); it != copies.end()) {
            add = key->time > it->second;
        } else {
            switch (query.mode) {
                case ChangedMode::kIncluded:
                    add = false;
                    break;
                case ChangedMode::kEvent:
                    add = !firstEntry || key->event == firstEntry->event;
                    break;
                case ChangedMode::kRound:
                    add = !firstEntry ||
                          (key->event == firstEntry->event && key->round == firstEntry->round);
                    break;
                case ChangedMode::kAll:
                    add = true;
                    break;
            }
        }
        if (add) entries_.push_back(*key);
    }
}

std::u16string CResultsChanged::Payload() const {
    if (entries_.empty()) return {};
    std::string out;
    out.reserve(8 + entries_.size() * 14);
    char buf[16];
    auto put = [&](long v) {
        auto r = std::to_chars(buf, buf + sizeof buf, v);
        out.append(buf, r.ptr);
    };
    put(static_cast<long>(entries_.size()));
    for (const auto& e : entries_) {
        out += ',';
        put(e.event);
        out += ',';
        put(e.round);
        out += ',';
        put(e.heat);
    }
    return std::u16string(out.begin(), out.end());
}

}  // namespace kestrom
