#pragma once
// The start-list merge: where a clerk's start list goes in the event file, as a pure
// function over the file's text so it can be tested and fuzzed without any file.
#include <string>
#include <string_view>

#include "meetdata/Readers.h"

namespace kestrom {

struct CStartListMerge {
    // False when the last event header line read could not be read: the event file must
    // then stay as it was.
    bool parsed = true;
    // How many event header lines the key reader refused (each is one log line).
    int badHeaderReads = 0;
    // True when the file already held the start list's key (its header line was kept).
    bool exactMatch = false;
    std::u16string content;
};

// `content` is the whole event file, every line ended by one LF; `startList` has LF line
// ends and its first line is the start list's event header line, whose key is `key`.
// A start list whose key is in the file replaces the lines under the file's first header of
// that key, up to the next line that begins with a digit (the file's header line is kept);
// otherwise the whole start list goes in before the first later heat or round of its event,
// or at the end of the file. The inserted text always ends with a line end.
CStartListMerge MergeStartList(std::u16string_view content, std::u16string_view startList,
                               const CEventInfo& key);

}  // namespace kestrom
