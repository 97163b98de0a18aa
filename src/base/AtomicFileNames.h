#pragma once
// The names of CAtomicFileWriter's temporary files, shared by both platforms' writers.
#include <string>
#include <string_view>

namespace kestrom {

// ".name.<12 hex digits>.tmp" beside the target: hidden, and never a meet file's name.
std::u16string TempNameFor(std::u16string_view target);
// Whether a folder entry's name (UTF-8) is one TempNameFor makes.
bool IsTempName(std::string_view name);

}  // namespace kestrom
