#pragma once
// The lines of a meet file exactly as CFileEx's token reader gives them (LF and Ctrl-Z end a
// line; CR, LF, CR LF or LF CR settled by the first line end met), found block by block in
// the file's own units: an 8-bit file is searched as bytes and never widened as a whole, a
// UTF-16 file is decoded one block at a time. Memory stays one block plus the longest line,
// however large the file; each line is a view, so nothing is allocated per line.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/FileEx.h"
#include "meetdata/Readers.h"

namespace kestrom {

// How line ends are told apart, as CFileEx settles it from the first CR or LF of the file.
struct CLineEndState {
    LineEnd mode = LineEnd::kAuto;
    char16_t endChar = 0;      // the character that ends a line once the mode is settled
    char16_t pendingSkip = 0;  // the partner of a line end that is dropped when it follows
};

// Unit is char for an 8-bit file (each byte one character) and char16_t for UTF-16.
template <class Unit>
class CMeetLineReader {
  public:
    using View = std::basic_string_view<Unit>;

    // Reads the rest of an open file; `bigEndian` for a UTF-16 file marked FE FF. `head` is
    // what was already read of an 8-bit file (its first bytes, looked at for a mark).
    CMeetLineReader(CFileEx& file, bool bigEndian, std::string_view head = {});

    // The next line without its terminator (it may be empty); false at the end of the file.
    // The view is valid until the next call.
    bool Next(View& line);
    // The line-end convention read so far (as CFileEx settles it).
    LineEnd LineEndMode() const { return ends_.mode; }
    // Whether the line last given was ended by a Ctrl-Z (rather than a line end or the end
    // of the file).
    bool EndedByCtrlZ() const { return endedByCtrlZ_; }

  private:
    // Keeps the units from keepFrom on at the front and reads one more block behind them.
    bool Refill(std::size_t keepFrom);
    // The first CR, LF or Ctrl-Z at or after from, or end_.
    std::size_t FindStop(std::size_t from) const;

    CFileEx& file_;
    bool bigEndian_;
    std::unique_ptr<Unit[]> buf_;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
    bool endedByCtrlZ_ = false;
    CLineEndState ends_;
};

// Opens the reading of an open file's lines: looks at its first bytes for a byte-order mark
// (FF FE or FE FF make it UTF-16, anything else is 8-bit) and calls fn with the reader of the
// right kind, returning what fn returns. fn is called with a CMeetLineReader<char>& or a
// CMeetLineReader<char16_t>&.
template <class Fn>
decltype(auto) ReadMeetFileLines(CFileEx& file, Fn&& fn) {
    char head[2] = {};
    const std::size_t got = file.Read(head, 2);
    const auto b0 = static_cast<unsigned char>(head[0]);
    const auto b1 = static_cast<unsigned char>(head[1]);
    if (got == 2 && ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF))) {
        CMeetLineReader<char16_t> reader(file, b0 == 0xFE);
        return fn(reader);
    }
    CMeetLineReader<char> reader(file, false, std::string_view(head, got));
    return fn(reader);
}

// Whether the line's first character is one of chars (false for an empty line).
inline bool StartsWithOneOf(std::string_view line, std::u16string_view chars) {
    return !line.empty() &&
           chars.find(static_cast<char16_t>(static_cast<unsigned char>(line[0]))) !=
               std::u16string_view::npos;
}
inline bool StartsWithOneOf(std::u16string_view line, std::u16string_view chars) {
    return !line.empty() && chars.find(line[0]) != std::u16string_view::npos;
}

// Appends a line's characters to text: bytes are widened, UTF-16 units copied.
void AppendLine(std::u16string& text, std::string_view line);
inline void AppendLine(std::u16string& text, std::u16string_view line) {
    text.append(line);
}

// The line as UTF-16: a UTF-16 line as it is, an 8-bit one widened into scratch.
std::u16string_view WideLine(std::string_view line, std::u16string& scratch);
inline std::u16string_view WideLine(std::u16string_view line, std::u16string&) {
    return line;
}

// The event key of an event header line as ReadEventKey reads it. Lines that begin with
// three short unquoted numbers (at most four digits each, so the 16-bit rule of the key
// reader never matters) are read here directly, as every header line of a real meet does;
// any other line goes to ReadEventKey, widened into scratch when it is 8-bit.
template <class Unit>
bool ReadHeaderKey(std::basic_string_view<Unit> line, CEventInfo& key, std::u16string& scratch);

}  // namespace kestrom
