#include "meetdata/EventFile.h"

#include <type_traits>

#include "base/FileCause.h"
#include "base/FileEx.h"
#include "core/Messages.h"
#include "meetdata/MeetLines.h"

namespace kestrom {

namespace {

// Full sharing: the start-list update may copy the file while it is read.
bool OpenEventFile(CFileEx& file, std::u16string& errorLine) {
    int cause = 0;
    if (file.Open(CFileEx::modeRead | CFileEx::shareDenyNone | CFileEx::typeBinary, &cause))
        return true;
    errorLine = std::u16string(kMsgErrorOpeningEventFile.text);
    errorLine += u"  CAUSE: ";
    errorLine += FileCauseText(cause);
    return false;
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

bool ReadEventFileText(const std::u16string& path, bool headersOnly, std::u16string& text,
                       std::u16string& errorLine) {
    CFileEx file(path);
    if (!OpenEventFile(file, errorLine)) return false;
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
    return true;
}

bool ReadEventFileLines(const std::u16string& path, bool headersOnly,
                        const std::function<void(std::u16string_view)>& sink,
                        std::u16string& errorLine) {
    CFileEx file(path);
    if (!OpenEventFile(file, errorLine)) return false;
    std::u16string scratch;
    ForEachEventFileLine(file, headersOnly, [&](auto line) { sink(WideLine(line, scratch)); });
    file.Close();
    return true;
}

}  // namespace kestrom
