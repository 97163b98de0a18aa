#pragma once
// The event file text reader: the text that the event file requests send, read from
// orvo.evt or hywire.evt.
#include <functional>
#include <string>
#include <string_view>

#include "base/Status.h"

namespace kestrom {

// Appends to `text` every line of the file that is not a comment (";") or empty, each followed by
// CR LF; with `headersOnly` only the event header lines (competitor lines, which start with a
// blank, a tab or a comma, are left out too). The file may be 8-bit or UTF-16 with a byte-order
// mark, with any line ends; LF and Ctrl-Z end a line. A failure is the file's open failure.
CStatus ReadEventFileText(const std::u16string& path, bool headersOnly, std::u16string& text);
// The same lines, each handed to `line` without its CR LF as it is read, for a reply that is
// written straight to the wire instead of being gathered as text first.
CStatus ReadEventFileLines(const std::u16string& path, bool headersOnly,
                           const std::function<void(std::u16string_view)>& line);

}  // namespace kestrom
