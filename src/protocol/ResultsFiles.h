#pragma once
// Results file names in the results folder: the dash and compact names of an event key, the
// look-up that tries both, and reading a key back from a file name.
#include <optional>
#include <string>
#include <string_view>

#include "base/FileFindIndex.h"
#include "meetdata/Readers.h"

namespace kestrom {

// Event digits are 3, or 4 for HY-WIRE files; wider numbers are written in full.
inline constexpr int kEventDigits = 3;
inline constexpr int kHyWireEventDigits = 4;

enum class ResultsNameForm {
    kDash,     // "%03d-%1d-%02d", e.g. 007-1-03
    kCompact,  // "%03d%1d%02d",   e.g. 007103
};

// The name of a heat's file without folder: base name plus `extension`, given with its dot
// (it may hold the wildcards ? and *, e.g. u".q?f").
std::u16string ResultsFileName(const CEventInfo& key, ResultsNameForm form,
                               std::u16string_view extension, int eventDigits = kEventDigits);

class CCommandProcessor;

// Which of the two names a lookup tries first.
enum class ResultsNameOrder { kDashFirst, kCompactFirst };

// The heat's file in `folder` by one name, else by the other, each found as Windows finds it
// (CCommandProcessor::FindMeetFile). When neither is there, the lookup of the second name,
// whose path the "not found" lines name.
FileLookup FindResultsFile(CCommandProcessor& p, std::u16string_view folder, const CEventInfo& key,
                           std::u16string_view extension, int eventDigits = kEventDigits,
                           ResultsNameOrder order = ResultsNameOrder::kDashFirst);

// The key that a results-changed scan reads from a file name (extension included), or
// nothing when the name gives none; numbers are kept in 16 bits as KeyMemberFromNumber says.
std::optional<CEventInfo> KeyFromResultsName(std::u16string_view name,
                                             int eventDigits = kEventDigits);

}  // namespace kestrom
