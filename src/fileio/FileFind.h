#pragma once
// Finding files by wildcard and looking up one file, with last-write times: the searches the
// request handlers make in the event and results folders.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrom {

struct FoundFile {
    std::u16string name;            // without folder
    std::time_t lastWriteTime = 0;  // seconds since the epoch
    std::uint64_t size = 0;
    bool isDirectory = false;
};

// '?' matches one character, '*' any run (also none); letters compare case-insensitively in
// ASCII only, like the platform's file search.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

// Entries of folder whose names match pattern, sorted by name ("." and ".." never). An
// unreadable or missing folder gives an empty list.
std::vector<FoundFile> FindFiles(std::u16string_view folder, std::u16string_view pattern);

// One file (or folder) by its path; nullopt when it does not exist.
std::optional<FoundFile> LookUpFile(std::u16string_view path);

}  // namespace kestrom
