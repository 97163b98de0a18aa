#pragma once
// The schedule of field events, read from the event file for a field client: the header line of
// the next field event after a key (the walk, mark "+"), or one field event's header line with
// its start list.
#include <string>

#include "meetdata/Readers.h"

namespace kestrom {

struct CScheduleAnswer {
    // False when the event file could not be opened; nothing else is then set.
    bool opened = false;
    bool found = false;
    // The found header line and CR LF; without the mark "+" also each competitor line and CR LF.
    std::u16string text;
    // Event header lines whose key could not be read, each one skipped by the search.
    int badHeaderLines = 0;
};

// Searches the event file at `path` in file order; only field events are found. The key 0,0,0
// stands before the first event. With the mark "+" the answer is the first field event after
// the first line with `key`; with any other mark it is the first field event with `key`.
// The file is read with automatic encoding and line ends; LF and Ctrl-Z end a line; comment
// lines and empty lines are skipped everywhere, also among competitor lines.
CScheduleAnswer ReadSchedule(const std::u16string& path, const CEventInfo& key, char16_t mark);

}  // namespace kestrom
