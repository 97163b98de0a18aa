// The meet-file readers and the start-list merge.
//
// Input: an options byte, then the bytes of a file. The file is read from disk as the event
// file, the HY-WIRE event file's text and the people file (automatic encoding and line ends),
// and its text, cut at the first "\f", gives an event file and a start list for the merge.
//   options bit 0: decode the text as UTF-16LE for the merge (else one byte per character)
//   options bits 1-7: the selection number for the athlete list (127: all athletes)
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzMeet.h"
#include "base/TextConvert.h"
#include "meetdata/EventFile.h"
#include "meetdata/PeopleFile.h"
#include "meetdata/Readers.h"
#include "meetdata/Schedule.h"
#include "meetdata/StartListMerge.h"

namespace kestrom::fuzz {
namespace {

std::u16string Decode(std::string_view bytes, bool utf16) {
    std::u16string text;
    if (utf16) {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                                 (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    } else {
        for (char c : bytes) text.push_back(static_cast<uint8_t>(c));
    }
    return text;
}

// The file as the start-list handler hands it to the merge: lines without CR or LF, each
// ended by one LF.
std::u16string AsMergeContent(std::u16string_view text) {
    std::u16string content;
    for (char16_t c : text) content.push_back(c == u'\r' ? u'\n' : c);
    if (!content.empty() && content.back() != u'\n') content.push_back(u'\n');
    return content;
}

void ReadLines(std::u16string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) end = text.size();
        const std::u16string_view line = text.substr(start, end - start);
        CEventInfo key;
        char16_t mark = kNoDirection;
        ReadEventKey(line, key, &mark);
        IsFieldEvent(line);
        for (int i = 0; i < 8; ++i) ReadField(line, i);
        ReadField(line, 1, u'\t', 0);
        if (auto stamp = ReadDateStamp(line)) {
            // Every stamp that reads back from a time it wrote must be 14 digits.
            if (FormatDateStamp(*stamp).size() != 14) std::abort();
        }
        start = end + 1;
    }
}

void Merge(std::u16string_view text) {
    const size_t cut = text.find(u'\f');
    if (cut == std::u16string_view::npos) return;
    const std::u16string content = AsMergeContent(text.substr(0, cut));
    std::u16string startList = AsMergeContent(text.substr(cut + 1));
    CEventInfo key;
    if (!ReadEventKey(startList, key)) return;
    const CStartListMerge merged = MergeStartList(content, startList, key);
    if (!merged.parsed) return;
    // A start list that went in whole must be found whole in the result.
    if (!merged.exactMatch && merged.content.find(startList) == std::u16string::npos) std::abort();
}

}  // namespace
}  // namespace kestrom::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrom;
    using namespace kestrom::fuzz;
    if (size < 1) return 0;
    static CFuzzMeet meet;
    const uint8_t options = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::string path = meet.EventDir() + "/orvo.evt";
    CFuzzMeet::Write(path, bytes);
    const std::u16string wpath = FromUtf8(path);
    std::u16string text;
    (void)ReadEventFileText(wpath, false, text);
    text.clear();
    (void)ReadEventFileText(wpath, true, text);
    ReadSchedule(wpath, CEventInfo(0, 0, 0, 0), u'+');
    ReadSchedule(wpath, CEventInfo(7, 1, 1, 0), u' ');
    const int selection = (options >> 1) == 127 ? kSelectAllAthletes : (options >> 1);
    std::u16string athletes;
    AppendAthleteList(wpath, static_cast<std::int16_t>(selection), athletes);

    const std::u16string decoded = Decode(bytes, options & 1);
    ReadLines(decoded);
    Merge(decoded);
    return 0;
}
