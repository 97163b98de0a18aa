#include "fileio/FileFind.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "fileio/Path.h"
#include "fileio/TextConvert.h"

namespace kestrom {

namespace {

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

FoundFile FromStat(std::u16string name, const struct stat& st) {
    FoundFile f;
    f.name = std::move(name);
    f.lastWriteTime = st.st_mtim.tv_sec;
    f.size = static_cast<std::uint64_t>(st.st_size);
    f.isDirectory = S_ISDIR(st.st_mode);
    return f;
}

}  // namespace

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    // "*.*" is the platform's way of saying "everything", names without a dot included.
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

std::vector<FoundFile> FindFiles(std::u16string_view folder, std::u16string_view pattern) {
    std::vector<FoundFile> found;
    std::string native = NativePath(folder.empty() ? std::u16string_view(u".") : folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
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
    std::sort(found.begin(), found.end(),
              [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    return found;
}

std::optional<FoundFile> LookUpFile(std::u16string_view path) {
    struct stat st {};
    if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0) return std::nullopt;
    return FromStat(std::u16string(FileNamePart(path)), st);
}

}  // namespace kestrom
