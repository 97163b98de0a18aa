#include <windows.h>

#include <algorithm>

#include "base/FileCause.h"
#include "base/FileFind.h"
#include "base/Path.h"

namespace kestrom {

namespace {

std::time_t ToUnixTime(const FILETIME& ft) {
    // FILETIME counts 100 ns steps from 1601-01-01.
    constexpr std::int64_t kEpochDifference = 116444736000000000LL;
    const std::int64_t ticks =
        (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<std::time_t>((ticks - kEpochDifference) / 10000000LL);
}

FoundFile FromAttributes(std::u16string name, DWORD attributes, const FILETIME& lastWrite,
                         DWORD sizeHigh, DWORD sizeLow) {
    FoundFile f;
    f.name = std::move(name);
    f.lastWriteTime = ToUnixTime(lastWrite);
    f.size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    f.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return f;
}

}  // namespace

FolderListing FindFiles(std::u16string_view folder, std::u16string_view pattern) {
    FolderListing listing;
    std::vector<FoundFile>& found = listing.files;
    const std::u16string query =
        JoinPath(folder.empty() ? std::u16string_view(u".") : folder, pattern);
    WIN32_FIND_DATAW data{};
    // Basic information leaves out the 8.3 names, and a large fetch suits a results folder
    // of thousands of files.
    HANDLE h = ::FindFirstFileExW(WidePath(query).c_str(), FindExInfoBasic, &data,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        // No match is an empty listing; a folder that is not there makes the path invalid.
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_NO_MORE_FILES)
            listing.status = CStatus::Failure(FileCauseFromWin32(err));
        return listing;
    }
    do {
        std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
        if (name == u"." || name == u"..") continue;
        // The system matches some patterns against short names too ("*.evt" finds
        // "a.evtx" by its "A~1.EVT"); the portable match keeps both platforms alike.
        if (!WildcardMatch(pattern, name)) continue;
        found.push_back(FromAttributes(std::move(name), data.dwFileAttributes, data.ftLastWriteTime,
                                       data.nFileSizeHigh, data.nFileSizeLow));
    } while (::FindNextFileW(h, &data));
    const DWORD err = ::GetLastError();
    ::FindClose(h);
    if (err != ERROR_NO_MORE_FILES) {
        listing.status = CStatus::Failure(FileCauseFromWin32(err));
        found.clear();
        return listing;
    }
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    return listing;
}

std::optional<FoundFile> LookUpFile(std::u16string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() ||
        !::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return FromAttributes(std::u16string(FileNamePart(path)), data.dwFileAttributes,
                          data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow);
}

}  // namespace kestrom
