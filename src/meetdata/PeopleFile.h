#pragma once
// The people file orvo.ppl: one athlete line per athlete, of which a clerk client asks for all
// or for those whose number list (field 6) holds a selection number.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "meetdata/MeetFiles.h"

namespace kestrom {

// The selection number that selects every athlete line.
inline constexpr std::int16_t kSelectAllAthletes = -1;

// Whether an athlete line is sent for the selection. Field 6 is a number list ("3,7,12" in
// quotes when it holds more than one number). A line is left out only when its list ends with
// a number other than 0, the selection is not -1 and no number of the list equals it; a line
// without the list is always sent.
bool IsAthleteSelected(std::u16string_view line, std::int16_t selection);

// Appends the selected athlete lines of the people file at `path` to `out`, each followed by
// CR LF; comment lines (";") and empty lines are skipped. The file is read with automatic
// encoding and line ends; LF and Ctrl-Z end a line. Returns false, leaving `out` as it was,
// when the file cannot be opened (others may read it meanwhile, but nobody may write it).
bool AppendAthleteList(const std::u16string& path, std::int16_t selection, std::u16string& out);
// The same lines, each handed to `sink` without its line end as it is read; `fileBytes`, when
// given, receives the file's size once it is open.
bool ForEachAthleteLine(const std::u16string& path, std::int16_t selection,
                        const std::function<void(std::u16string_view)>& sink,
                        std::uint64_t* fileBytes = nullptr);

}  // namespace kestrom
