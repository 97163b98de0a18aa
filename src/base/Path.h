#pragma once
// Paths inside the core are UTF-16; they become native at the system call. On Windows both '\'
// and '/' separate folders; on Linux only '/' does, and a backslash is an ordinary character
// of a name (a folder may be called "Meet\2026").
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrom {

#ifdef _WIN32
inline constexpr std::u16string_view kPathSeparators = u"/\\";
#else
inline constexpr std::u16string_view kPathSeparators = u"/";
#endif

inline bool IsPathSeparator(char16_t c) {
    return kPathSeparators.find(c) != std::u16string_view::npos;
}

// Position of the last separator, or npos.
std::size_t LastPathSeparator(std::u16string_view path);

// UTF-8 for the system call (on Windows with every '\' turned into '/').
std::string NativePath(std::u16string_view path);

#ifdef _WIN32
// UTF-16 for the Win32 call, every '/' turned into '\'.
std::wstring WidePath(std::u16string_view path);
#endif

// A std::filesystem path from UTF-8 text: the bytes as they are on Linux, UTF-16 on Windows
// (where a narrow string would be taken in the ANSI code page).
std::filesystem::path FsPath(std::string_view utf8);

// folder + '/' + name (no separator doubled; an empty folder gives name).
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Everything after the last separator (the whole path when there is none).
std::u16string_view FileNamePart(std::u16string_view path);

// Everything before the last separator ("" when there is none, "/" for a file in the root).
std::u16string_view FolderPart(std::u16string_view path);

}  // namespace kestrom
