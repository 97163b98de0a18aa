#include "meetdata/Schedule.h"

#include <type_traits>

#include "base/FileEx.h"
#include "meetdata/MeetLines.h"

namespace kestrom {

namespace {

// Lines that are not event header lines: comments, and the competitor lines.
constexpr std::u16string_view kNotHeaderStarts = u"; \t,";
constexpr std::u16string_view kCompetitorStarts = u" \t,";

bool IsBeforeFirstEvent(const CEventInfo& key) {
    return key.event == 0 && key.round == 0 && key.heat == 0;
}

// Reads header lines until the wanted field event; true with the reader at its line. Only
// the lines whose key matters are tested for a field event.
template <class Reader>
bool FindFieldEvent(Reader& lines, typename Reader::View& line, const CEventInfo& key, bool walk,
                    int& badHeaderLines) {
    const bool fromStart = IsBeforeFirstEvent(key);
    bool passed = false;
    std::u16string scratch;
    CEventInfo lineKey;
    while (lines.Next(line)) {
        if (line.empty() || StartsWithOneOf(line, kNotHeaderStarts)) continue;
        if (!ReadHeaderKey(line, lineKey, scratch)) {
            ++badHeaderLines;
            continue;
        }
        const bool sameKey = lineKey.SameKey(key);
        if (!fromStart && !passed && !sameKey) continue;
        const bool fieldEvent = IsFieldEvent(WideLine(line, scratch));
        if (fieldEvent && (fromStart || passed)) return true;
        if (sameKey) {
            if (walk && !passed)
                passed = true;
            else if (fieldEvent)
                return true;
        }
    }
    return false;
}

// The competitor lines that follow, up to the next line that is not one (comment lines and
// empty lines among them are skipped).
template <class Reader>
void AppendStartList(Reader& lines, std::u16string& text) {
    typename Reader::View line;
    while (lines.Next(line)) {
        if (line.empty() || line[0] == ';') continue;
        if (!StartsWithOneOf(line, kCompetitorStarts)) return;
        AppendLine(text, line);
        text += u"\r\n";
    }
}

}  // namespace

CScheduleAnswer ReadSchedule(const std::u16string& path, const CEventInfo& key, char16_t mark) {
    CScheduleAnswer answer;
    CFileEx file(path);
    // Other readers may share the file (several field devices walk the schedule at once); only
    // writers are kept out while it is read.
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyWrite | CFileEx::typeBinary))
        return answer;
    answer.opened = true;

    const bool walk = mark == u'+';
    ReadMeetFileLines(file, [&](auto& lines) {
        typename std::remove_reference_t<decltype(lines)>::View line;
        if (!FindFieldEvent(lines, line, key, walk, answer.badHeaderLines)) return;
        answer.found = true;
        AppendLine(answer.text, line);
        answer.text += u"\r\n";
        if (!walk) AppendStartList(lines, answer.text);
    });
    return answer;
}

}  // namespace kestrom
