#pragma once
// The process-wide table of open files with their access and sharing, which gives opens the
// sharing rules of the original platform: concurrent requests on the same file are kept apart
// only by the modes each open states. Other processes are not covered.
//
// Replacing a file is the exception. On Linux a replacement renames a new file over the name
// and never touches the file a reader has open, which goes on reading the old content whole;
// so readers and replacements never exclude each other, whatever the reader's sharing. A
// replacement still excludes every other writer of the file: an in-place write would be lost
// with the old file, and of two replacements one would silently undo the other.
#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace kestrom {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// Access and share are bit sets of these flags.
constexpr unsigned kFileRead = 1;
constexpr unsigned kFileWrite = 2;
// Access only: the holder will rename a new file over this one (its share is not looked at).
constexpr unsigned kFileReplace = 4;

class CShareModeTable {
  public:
    // The table every CFileEx uses.
    static CShareModeTable& Process();

    // Registers an open when it is compatible with every open already registered for the file:
    // the new access must be allowed by each existing share, and each existing access by the
    // new share; a replacement is compatible with everything but writes and replacements.
    // Returns a ticket (never 0), or 0 on a sharing violation.
    std::uint64_t TryAcquire(FileIdentity id, unsigned access, unsigned share);
    void Release(FileIdentity id, std::uint64_t ticket);

    // Number of opens registered for the file.
    std::size_t OpenCount(FileIdentity id) const;

  private:
    struct Entry {
        std::uint64_t ticket;
        unsigned access;
        unsigned share;
    };
    mutable std::mutex mutex_;
    std::map<FileIdentity, std::vector<Entry>> opens_;
    std::uint64_t nextTicket_ = 1;
};

}  // namespace kestrom
