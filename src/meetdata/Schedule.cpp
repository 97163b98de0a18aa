#include "meetdata/Schedule.h"

#include "fileio/FileEx.h"

namespace kestrom {

namespace {

constexpr std::u16string_view kLineTerminators = u"\n\x1A";
// Header lines only: comments, empty lines and competitor lines are skipped.
constexpr std::u16string_view kHeaderCommentStarts = u"; \t,\n";
constexpr std::u16string_view kLineCommentStarts = u";\n";

bool IsCompetitorLine(std::u16string_view line) {
    return !line.empty() && (line[0] == u' ' || line[0] == u'\t' || line[0] == u',');
}

bool IsBeforeFirstEvent(const CEventInfo& key) {
    return key.event == 0 && key.round == 0 && key.heat == 0;
}

// Reads header lines until the wanted field event; true with its line in `line`.
bool FindFieldEvent(CFileEx& file, const CEventInfo& key, bool walk, std::u16string& line,
                    int& badHeaderLines) {
    const bool fromStart = IsBeforeFirstEvent(key);
    bool passed = false;
    for (;;) {
        line.clear();
        const int end = file.ReadToken(line, kLineTerminators, kHeaderCommentStarts, {});
        if (!line.empty()) {
            CEventInfo lineKey;
            if (!ReadEventKey(line, lineKey)) {
                ++badHeaderLines;
            } else {
                const bool fieldEvent = IsFieldEvent(line);
                if (fieldEvent && (fromStart || passed)) return true;
                if (lineKey.SameKey(key)) {
                    if (walk && !passed)
                        passed = true;
                    else if (fieldEvent)
                        return true;
                }
            }
        }
        if (end < 0) return false;
    }
}

void AppendStartList(CFileEx& file, std::u16string& text) {
    std::u16string line;
    for (;;) {
        line.clear();
        const int end = file.ReadToken(line, kLineTerminators, kLineCommentStarts, {});
        if (!line.empty()) {
            if (!IsCompetitorLine(line)) return;
            text += line;
            text += u"\r\n";
        }
        if (end < 0) return;
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
    file.SetReadEncoding(CFileEx::kEncodingAuto);

    const bool walk = mark == u'+';
    std::u16string line;
    if (!FindFieldEvent(file, key, walk, line, answer.badHeaderLines)) return answer;
    answer.found = true;
    answer.text = line;
    answer.text += u"\r\n";
    if (!walk) AppendStartList(file, answer.text);
    return answer;
}

}  // namespace kestrom
