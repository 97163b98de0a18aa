#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "base/FileCause.h"
#include "base/FileFind.h"
#include "base/Path.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

FoundFile FromStat(std::u16string name, const struct stat& st) {
    FoundFile f;
    f.name = std::move(name);
    f.lastWriteTime = st.st_mtim.tv_sec;
    f.size = static_cast<std::uint64_t>(st.st_size);
    f.isDirectory = S_ISDIR(st.st_mode);
    return f;
}

}  // namespace

FolderListing FindFiles(std::u16string_view folder, std::u16string_view pattern) {
    FolderListing listing;
    std::vector<FoundFile>& found = listing.files;
    std::string native = NativePath(folder.empty() ? std::u16string_view(u".") : folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) {
        // A folder that is not there makes the path invalid, as on Windows.
        listing.status =
            CStatus::Failure(errno == ENOENT ? file_cause::kBadPath : FileCauseFromErrno(errno));
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            // The end of the folder leaves errno alone; a failed read sets it.
            if (errno != 0) listing.status = CStatus::Failure(FileCauseFromErrno(errno));
            break;
        }
        std::string_view raw(entry->d_name);
        if (raw == "." || raw == "..") continue;
        std::u16string name = FromUtf8(raw);
        if (!WildcardMatch(pattern, name)) continue;
        struct stat st {};
        // A file removed between the listing and the look-up is simply not found.
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0) continue;
        found.push_back(FromStat(std::move(name), st));
    }
    ::closedir(dir);
    if (!listing.status) {
        found.clear();
        return listing;
    }
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    return listing;
}

std::optional<FoundFile> LookUpFile(std::u16string_view path) {
    struct stat st {};
    if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0) return std::nullopt;
    return FromStat(std::u16string(FileNamePart(path)), st);
}

}  // namespace kestrom
