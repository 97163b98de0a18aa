#include "meetdata/PeopleFile.h"

#include <optional>
#include <type_traits>

#include "base/FileEx.h"
#include "base/NumberText.h"
#include "meetdata/MeetLines.h"
#include "meetdata/Readers.h"

namespace kestrom {

namespace {

constexpr int kNumberListField = 6;

// Whether a number list selects the line (the rule of IsAthleteSelected).
bool ListSelects(std::optional<std::u16string_view> list, std::int16_t selection) {
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

// Where the number list begins when no field before it holds a double quote: those fields
// are then plain runs between commas, as the field reader reads them, and the list is
// field 0 of the rest of the line. npos when the line has fewer fields (no list), nothing
// when a quote comes first and the field reader must read the line from its start.
template <class Unit>
std::optional<std::size_t> PlainNumberListStart(std::basic_string_view<Unit> line) {
    int commas = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == Unit('"')) return std::nullopt;
        if (line[i] == Unit(',') && ++commas == kNumberListField) return i + 1;
    }
    return std::basic_string_view<Unit>::npos;
}

// The selection rule for a line of the file, without widening and splitting every field of
// an athlete line whose first fields are plain.
template <class Unit>
bool LineSelected(std::basic_string_view<Unit> line, std::int16_t selection,
                  std::u16string& scratch) {
    const auto start = PlainNumberListStart(line);
    if (!start) return IsAthleteSelected(WideLine(line, scratch), selection);
    if (*start == std::basic_string_view<Unit>::npos) return true;
    return ListSelects(ReadField(WideLine(line.substr(*start), scratch), 0), selection);
}

}  // namespace

bool IsAthleteSelected(std::u16string_view line, std::int16_t selection) {
    if (selection == kSelectAllAthletes) return true;
    return ListSelects(ReadField(line, kNumberListField), selection);
}

bool ForEachAthleteLine(const std::u16string& path, std::int16_t selection,
                        const std::function<void(std::u16string_view)>& sink,
                        std::uint64_t* fileBytes) {
    CFileEx file(path);
    if (!file.Open(CFileEx::modeRead | CFileEx::shareDenyWrite | CFileEx::typeBinary)) return false;
    if (fileBytes) *fileBytes = file.GetLength();
    ReadMeetFileLines(file, [&](auto& lines) {
        typename std::remove_reference_t<decltype(lines)>::View line;
        std::u16string scratch, wide;
        while (lines.Next(line)) {
            if (line.empty() || line[0] == ';') continue;
            if (selection != kSelectAllAthletes && !LineSelected(line, selection, scratch))
                continue;
            sink(WideLine(line, wide));
        }
    });
    return true;
}

bool AppendAthleteList(const std::u16string& path, std::int16_t selection, std::u16string& out) {
    return ForEachAthleteLine(path, selection, [&](std::u16string_view line) {
        out += line;
        out += u"\r\n";
    });
}

}  // namespace kestrom
