#pragma once
// Finding a meet file by name the way Windows finds it, whatever the case the timing software
// wrote it in: the exact name first, else the entry whose name matches ignoring ASCII case.
// Every open, replacement and listing in the meet folders goes through CMeetFolders, so a
// write replaces the file that a read finds instead of adding a second one beside it.
//
// A name that exists as written costs one stat. Any other lookup is answered from an index of
// the folder's names that inotify keeps current: the kernel queues an event within the call
// that creates, renames or removes an entry, so the next lookup, which drains the queue
// first, sees the change. Folders whose changes inotify cannot see (network shares, FUSE)
// are listed afresh instead, which is slower but never stale.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileFind.h"

namespace kestrom {

struct FileLookup {
    // The file found; never a folder.
    std::optional<FoundFile> file;
    // The folder joined with the name found, or with the name asked for when there is none:
    // the path to open, and the path a replacement writes.
    std::u16string path;
    // A failure when the folder could not be read: then nothing is known about the file,
    // which is not the same as its being missing.
    CStatus status;
    // The first time a name matches several entries that differ only in case: all of them,
    // the chosen one (file->name) first. Empty otherwise, so the caller logs it once.
    std::vector<std::u16string> sameNameIgnoringCase;
    // True the first time a folder has to be listed for the lookup because its changes cannot
    // be followed (network share, FUSE, or no inotify watch to be had), so the caller can say
    // once why lookups there cost more.
    bool firstListedWithoutIndex = false;
};

class CFolderIndex;

class CMeetFolders {
  public:
    // At most this many folders are indexed at once (the event and results folders, and the
    // ones they had before a change of settings); the least recently used goes first.
    static constexpr std::size_t kMaxIndexedFolders = 8;

    CMeetFolders();
    ~CMeetFolders();
    CMeetFolders(const CMeetFolders&) = delete;
    CMeetFolders& operator=(const CMeetFolders&) = delete;

    // `name` in `folder`: the exact name when it exists, else the entry that matches ignoring
    // ASCII case; of several such entries the first in the order of their UTF-16 code units
    // (upper case before lower case). `name` may hold the wildcards ? and *: then the first
    // match, names compared ignoring case.
    FileLookup Find(std::u16string_view folder, std::u16string_view name);

    // The files of `folder` whose names start with `prefix` and match `pattern` (both ignoring
    // ASCII case), sorted by name, with their last-write times. `pattern` must begin with
    // `prefix`. `cause` is set when the folder could not be read.
    FolderListing ListByPrefix(std::u16string_view folder, std::u16string_view prefix,
                               std::u16string_view pattern);

    // Names held and bytes used by the index of `folder` (0, 0 when none is held); for the
    // benchmarks and tests.
    struct IndexSize {
        std::size_t names = 0;
        std::size_t bytes = 0;
    };
    IndexSize SizeOf(std::u16string_view folder);

  private:
    std::shared_ptr<CFolderIndex> IndexOf(std::u16string_view folder);

    std::mutex mutex_;
    std::vector<std::shared_ptr<CFolderIndex>> folders_;  // most recently used first
};

}  // namespace kestrom
