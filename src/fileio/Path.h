#pragma once
// Paths inside the core are UTF-16 and may use either '\' or '/' between folders (meet folders
// and file names are often written the Windows way); they become native at the system call.
#include <string>
#include <string_view>

namespace kestrom {

inline bool IsPathSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

// Position of the last '/' or '\', or npos.
std::size_t LastPathSeparator(std::u16string_view path);

// UTF-8 for the system call, every '\' turned into '/'.
std::string NativePath(std::u16string_view path);

// folder + '/' + name (no separator doubled; an empty folder gives name).
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Everything after the last separator (the whole path when there is none).
std::u16string_view FileNamePart(std::u16string_view path);

// Everything before the last separator ("" when there is none, "/" for a file in the root).
std::u16string_view FolderPart(std::u16string_view path);

}  // namespace kestrom
