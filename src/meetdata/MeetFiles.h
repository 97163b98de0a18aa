#pragma once
// The names of the meet's files in the event folder (joined to it with JoinPath).
#include <string_view>

namespace kestrom {

inline constexpr std::u16string_view kEventFileName = u"orvo.evt";
inline constexpr std::u16string_view kHyWireEventFileName = u"hywire.evt";
inline constexpr std::u16string_view kPeopleFileName = u"orvo.ppl";
// The old event file's name while a start-list update exchanges the files.
inline constexpr std::u16string_view kEventFileBackupName = u"orvoevt.ren";

}  // namespace kestrom
