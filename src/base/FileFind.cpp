#include "base/FileFind.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "base/FileCause.h"
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

int CompareIgnoringCase(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    // "*.*" is the Windows way of saying "everything", names without a dot included.
    if (pattern == u"*.*") pattern = u"*";
    std::size_t p = 0, n = 0;
    std::size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u16string_view::npos) {
            // Let the last '*' take one more character and try again from there.
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

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
