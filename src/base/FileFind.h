#pragma once
// Finding files by wildcard and looking up one file, with last-write times: the searches the
// request handlers make in the event and results folders.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"

namespace kestrom {

struct FoundFile {
    std::u16string name;            // without folder
    std::time_t lastWriteTime = 0;  // seconds since the epoch
    std::uint64_t size = 0;
    bool isDirectory = false;
};

// A letter A-Z as a-z, every other character as it is: file names on Windows ignore the case
// of ASCII letters only.
constexpr char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Negative, zero or positive as a comes before, with or after b when ASCII case is ignored.
int CompareIgnoringCase(std::u16string_view a, std::u16string_view b);

// '?' matches one character, '*' any run (also none); letters compare case-insensitively in
// ASCII only, like Windows' file search.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

// A folder's entries, and whether the folder could be read at all: an empty listing with a
// cause is a failure (no descriptors, folder gone or unmounted), never "no files".
struct FolderListing {
    std::vector<FoundFile> files;
    CStatus status;  // success when the whole folder was read
};

// Entries of folder whose names match pattern, sorted by name ("." and ".." never). A missing
// or unreadable folder, or a read that fails on the way, gives the cause.
FolderListing FindFiles(std::u16string_view folder, std::u16string_view pattern);

// One file (or folder) by its path; nullopt when it does not exist.
std::optional<FoundFile> LookUpFile(std::u16string_view path);

}  // namespace kestrom
