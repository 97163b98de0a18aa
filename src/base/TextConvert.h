#pragma once
// Conversions at the edges of the core: text inside Kestrom is UTF-16, the file system,
// standard output and the command line speak UTF-8.
#include <string>
#include <string_view>

namespace kestrom {

std::string ToUtf8(std::u16string_view text);
// The same, appended to out.
void AppendUtf8(std::string& out, std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// ASCII-only text given as a narrow literal, e.g. U16("orvo.evt").
std::u16string U16(std::string_view ascii);
// Equality ignoring the case of ASCII letters only, as Windows' command-line switches and registry
// key names do.
bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

}  // namespace kestrom
