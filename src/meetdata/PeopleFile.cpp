#include "meetdata/PeopleFile.h"

#include "fileio/FileEx.h"
#include "fileio/NumberText.h"
#include "meetdata/Readers.h"

namespace kestrom {

namespace {

constexpr int kNumberListField = 6;
constexpr std::u16string_view kLineTerminators = u"\n\x1A";
constexpr std::u16string_view kCommentStarts = u";\n";

}  // namespace

bool IsAthleteSelected(std::u16string_view line, std::int16_t selection) {
    const auto list = ReadField(line, kNumberListField);
    if (!list) return true;
    bool matched = false;
    std::int32_t last = 0;
    for (int i = 0;; ++i) {
        const auto number = ReadField(*list, i);
        if (!number) break;
        last = ReadDecimal(*number);
        if (last == selection) matched = true;
    }
    return last == 0 || selection == kSelectAllAthletes || matched;
}

bool AppendAthleteList(const std::u16string& path, std::int16_t selection, std::u16string& out) {
    CFileEx file(path);
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyWrite | CFileEx::typeBinary)) return false;
    file.SetReadEncoding(CFileEx::kEncodingAuto);
    std::u16string line;
    for (;;) {
        line.clear();
        const int end = file.ReadToken(line, kLineTerminators, kCommentStarts, {});
        if (!line.empty() && IsAthleteSelected(line, selection)) {
            out += line;
            out += u"\r\n";
        }
        if (end < 0) break;
    }
    return true;
}

}  // namespace kestrom
