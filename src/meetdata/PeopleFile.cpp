#include "meetdata/PeopleFile.h"

#include <type_traits>

#include "fileio/FileEx.h"
#include "fileio/NumberText.h"
#include "meetdata/MeetLines.h"
#include "meetdata/Readers.h"

namespace kestrom {

namespace {

constexpr int kNumberListField = 6;

}  // namespace

bool IsAthleteSelected(std::u16string_view line, std::int16_t selection) {
    if (selection == kSelectAllAthletes) return true;
    const auto list = ReadField(line, kNumberListField);
    if (!list) return true;
    // One pass over the list: a list of many thousand numbers costs its length, not its
    // length squared.
    bool matched = false;
    std::int32_t last = 0;
    CFieldCursor numbers(*list);
    for (auto number = numbers.Next(); number && !number->empty(); number = numbers.Next()) {
        last = ReadDecimal(*number);
        if (last == selection) matched = true;
    }
    return last == 0 || matched;
}

bool AppendAthleteList(const std::u16string& path, std::int16_t selection, std::u16string& out) {
    CFileEx file(path);
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyWrite | CFileEx::typeBinary)) return false;
    if (selection == kSelectAllAthletes) {
        const auto bytes = static_cast<std::size_t>(file.GetLength());
        out.reserve(out.size() + bytes + bytes / 8);
    }
    ReadMeetFileLines(file, [&](auto& lines) {
        typename std::remove_reference_t<decltype(lines)>::View line;
        std::u16string scratch;
        while (lines.Next(line)) {
            if (line.empty() || line[0] == ';') continue;
            if (selection == kSelectAllAthletes) {
                AppendLine(out, line);
            } else {
                const std::u16string_view wide = WideLine(line, scratch);
                if (!IsAthleteSelected(wide, selection)) continue;
                out.append(wide);
            }
            out += u"\r\n";
        }
    });
    return true;
}

}  // namespace kestrom
