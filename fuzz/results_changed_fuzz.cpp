// The results-changed payload and the list built from it.
//
// Input: an options byte, then the payload. options bit 0: the payload's bytes are UTF-16LE
// pairs (else one byte per character); bit 1: compact names (else dash names).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/ResultsChanged.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrom;
    if (size < 1) return 0;
    const uint8_t options = data[0];
    std::u16string payload;
    if (options & 1) {
        for (size_t i = 1; i + 1 < size; i += 2)
            payload.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    } else {
        for (size_t i = 1; i < size; ++i) payload.push_back(data[i]);
    }
    const auto query = ParseResultsChangedQuery(payload);
    if (!query) return 0;
    if (query->badEntries < 0) std::abort();

    // A folder where some files are older and some newer than any copy the client may hold.
    std::vector<FoundFile> files;
    const bool compact = options & 2;
    const char16_t* names[] = {u"001-1-01.qff",   u"001-1-02.qff",  u"007-2-01.qff",
                               u"32767-9-99.qff", u"0011-1-01.hyf", u"notes.txt"};
    const char16_t* compactNames[] = {u"001101.qff", u"001102.qff", u"007201.qff", u"0011101.hyf"};
    std::time_t t = 0;
    if (compact) {
        for (const char16_t* n : compactNames)
            files.push_back({n, t += 1'000'000'000 / 4, 10, false});
    } else {
        for (const char16_t* n : names) files.push_back({n, t += 1'000'000'000 / 6, 10, false});
    }
    CResultsChanged list;
    list.Collect(*query, files, (options & 4) ? 4 : 3);
    if (list.Entries().size() > files.size()) std::abort();
    const std::u16string reply = list.Payload();
    if (list.Entries().empty() != reply.empty()) std::abort();
    return 0;
}
