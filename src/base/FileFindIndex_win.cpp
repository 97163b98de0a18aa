#include <algorithm>

#include "base/FileFindIndex.h"
#include "base/Path.h"

// Windows finds names ignoring case itself, so no index is kept: a lookup asks the system
// (FindFirstFileExW), which also reports the entry's name as it is stored.

namespace kestrom {

class CFolderIndex {};

namespace {

bool StartsWithIgnoringCase(std::u16string_view name, std::u16string_view prefix) {
    return name.size() >= prefix.size() &&
           CompareIgnoringCase(name.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace

CMeetFolders::CMeetFolders() = default;
CMeetFolders::~CMeetFolders() = default;

std::shared_ptr<CFolderIndex> CMeetFolders::IndexOf(std::u16string_view) {
    return nullptr;
}

FileLookup CMeetFolders::Find(std::u16string_view folder, std::u16string_view name) {
    FileLookup result;
    result.path = JoinPath(folder, name);
    FolderListing scan = FindFiles(folder, name);
    if (!scan.status) {
        result.status = scan.status;
        return result;
    }
    for (auto& f : scan.files) {
        if (f.isDirectory) continue;
        result.path = JoinPath(folder, f.name);
        result.file = std::move(f);
        break;
    }
    return result;
}

FolderListing CMeetFolders::ListByPrefix(std::u16string_view folder, std::u16string_view prefix,
                                         std::u16string_view pattern) {
    FolderListing listing = FindFiles(folder, pattern);
    std::erase_if(listing.files, [&](const FoundFile& f) {
        return f.isDirectory || !StartsWithIgnoringCase(f.name, prefix);
    });
    return listing;
}

CMeetFolders::IndexSize CMeetFolders::SizeOf(std::u16string_view) {
    return {};
}

}  // namespace kestrom
