#pragma once
// The start-list merge: where a clerk's start list goes in the event file, as a pure
// function over the file's text so it can be tested and fuzzed without any file.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "meetdata/Readers.h"

namespace kestrom {

// Where the start list goes: the merged file is content[0, cut), the inserted lines (with a
// line end before or after them where the text lacks one), then content[resume, end). It
// holds views into the content and the start list, so the file can be written piece by piece
// without building the merged text.
struct CStartListSplice {
    // False when the last event header line read could not be read: the event file must
    // then stay as it was.
    bool parsed = true;
    // How many event header lines the key reader refused (each is one log line).
    int badHeaderReads = 0;
    // True when the file already held the start list's key (its header line was kept).
    bool exactMatch = false;
    std::size_t cut = 0;
    std::size_t resume = 0;
    std::u16string_view inserted;
    bool lineEndBefore = false;
    bool lineEndAfter = false;

    // The merged text in order: head, line end or nothing, inserted lines, line end or
    // nothing, tail.
    std::array<std::u16string_view, 5> Pieces(std::u16string_view content) const;
};

// `content` is the whole event file, every line ended by one LF; `startList` has LF line
// ends and its first line is the start list's event header line, whose key is `key`.
// A start list whose key is in the file replaces the lines under the file's first header of
// that key, up to the next line that begins with a digit (the file's header line is kept);
// otherwise the whole start list goes in before the first later heat or round of its event,
// or at the end of the file. The inserted text always ends with a line end.
CStartListSplice PlanStartListMerge(std::u16string_view content, std::u16string_view startList,
                                    const CEventInfo& key);

struct CStartListMerge {
    bool parsed = true;
    int badHeaderReads = 0;
    bool exactMatch = false;
    std::u16string content;
};

// The same merge with the merged text built (empty when not parsed).
CStartListMerge MergeStartList(std::u16string_view content, std::u16string_view startList,
                               const CEventInfo& key);

}  // namespace kestrom
