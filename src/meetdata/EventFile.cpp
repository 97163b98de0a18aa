#include "meetdata/EventFile.h"

#include <type_traits>

#include "base/FileEx.h"
#include "meetdata/MeetLines.h"

namespace kestrom {

namespace {

// Full sharing: the start-list update may copy the file while it is read.
CStatus OpenEventFile(CFileEx& file) {
    return file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary);
}

// Comments and empty lines never reach fn; in headers-only mode neither do competitor lines,
// whose first character is a blank, a tab or a comma. fn gets each line as a view in the
// file's own units (bytes of an 8-bit file, UTF-16 units otherwise).
template <class Fn>
void ForEachEventFileLine(CFileEx& file, bool headersOnly, Fn&& fn) {
    const std::u16string_view skippedStarts = headersOnly ? u"; \t," : u";";
    ReadMeetFileLines(file, [&](auto& lines) {
        typename std::remove_reference_t<decltype(lines)>::View line;
        while (lines.Next(line)) {
            if (line.empty() || StartsWithOneOf(line, skippedStarts)) continue;
            fn(line);
        }
    });
}

}  // namespace

CStatus ReadEventFileText(const std::u16string& path, bool headersOnly, std::u16string& text) {
    CFileEx file(path);
    if (CStatus opened = OpenEventFile(file); !opened) return opened;
    // At most one character per byte, and two more per line for CR LF: reserved once from
    // the length so the text is never copied as it grows. Room that the header lines leave
    // unused is never touched, so it costs no memory.
    const auto bytes = static_cast<std::size_t>(file.GetLength());
    text.reserve(text.size() + bytes + bytes / 8);
    ForEachEventFileLine(file, headersOnly, [&](auto line) {
        AppendLine(text, line);
        text += u"\r\n";
    });
    file.Close();
    return {};
}

CStatus ReadEventFileLines(const std::u16string& path, bool headersOnly,
                           const std::function<void(std::u16string_view)>& sink) {
    CFileEx file(path);
    if (CStatus opened = OpenEventFile(file); !opened) return opened;
    std::u16string scratch;
    ForEachEventFileLine(file, headersOnly, [&](auto line) { sink(WideLine(line, scratch)); });
    file.Close();
    return {};
}

}  // namespace kestrom
