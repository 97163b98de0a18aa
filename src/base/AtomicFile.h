#pragma once
// The one way the server replaces a file: the new content goes to a temporary file in the
// target's folder, is flushed to the disk, and is renamed over the target, and the folder is
// synced; a crash or a failure leaves the old file or the new one, never a torn one.
//
// On Windows the rename is MoveFileExW with write-through; a reader holding the target open
// makes it wait (a bounded number of retries), then fail with the sharing violation.
//
// On Linux the temporary file has no name while it is written (O_TMPFILE), so a crash then
// leaves nothing behind; it gets a hidden name only for the moment of the rename. Where the
// file system has no unnamed files it is named from the start. Either way the writer holds a
// lock on it, so RemoveStaleTemporaryFiles can tell the leftovers of a crashed run from the
// files of writers at work.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/FileEx.h"

namespace kestrom {

class CAtomicFileWriter {
  public:
    explicit CAtomicFileWriter(std::u16string targetPath);
    // Removes the temporary file unless it was committed.
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Claims the target for replacement and creates the temporary file (write access, not
    // shared; the target's permissions when it exists). Readers of the target are not
    // disturbed; another writer of it, in place or by replacement, makes this fail with
    // file_cause::kSharingViolation.
    CStatus Create();
    // The open temporary file: write text or bytes through it (its modes are the caller's).
    CFileEx& File() { return file_; }
    // The temporary file's name in the folder; empty while it has none.
    const std::u16string& TempPath() const { return tempPath_; }
    const std::u16string& TargetPath() const { return target_; }
    // Whether the target existed when Create claimed it.
    bool TargetExisted() const;

    // Flushes and syncs the temporary file, renames it over the target and syncs the folder.
    // A failure when any step (or an earlier write) failed; the target is then as it was and
    // the temporary file is removed.
    CStatus Commit();
    // For a target that must not exist yet: syncs the temporary file and gives it the target's
    // name only if that name is still free, so the new file appears holding its whole content.
    // A failure (kSharingViolation when the name was taken) leaves any existing target
    // untouched.
    CStatus CommitNew();
    // Drops the temporary file; the target stays as it was.
    void Discard();

  private:
    bool CreateUnnamed();
    CStatus CreateNamed();
    // Puts the written content on disk and closes the temporary file: 0, or the cause.
    int SyncAndClose();
    // Gives the unnamed temporary file the name `path`: 0, or the errno.
    int LinkUnnamed(const std::string& nativePath) const;
    // Drops the temporary file and returns the failure.
    CStatus Fail(int cause);
    // After the content took the target's name: the temporary file is no more, and the claim
    // and any lock go.
    void MarkCommitted();
    void ReleaseClaim();

    std::u16string target_;
    std::u16string tempPath_;
    CFileEx file_;
    // Holds the lock that marks the temporary file as in use, and keeps an unnamed one alive.
    int lockFd_ = -1;
    bool unnamed_ = false;
    bool created_ = false;
    bool committed_ = false;
    // The target as it was at Create, held open so that its identity in the share-mode table
    // cannot pass to another file before the claim is released.
    int pin_ = -1;
    FileIdentity claimed_{};
    std::uint64_t ticket_ = 0;
#ifdef _WIN32
    // The target held open (read access, shared for reading and deleting) from Create to the
    // rename: in-place writers in any process are refused meanwhile.
    void* claim_ = nullptr;
    // The target's full path in upper case: the claim against other writers of this process.
    std::wstring claimKey_;
    bool targetExisted_ = false;
#endif
};

// Replaces path with bytes through CAtomicFileWriter.
CStatus WriteFileAtomically(std::u16string_view path, std::string_view bytes);

// Removes from folder the temporary files of CAtomicFileWriter that no running writer holds:
// those a crash left behind. Returns how many were removed.
int RemoveStaleTemporaryFiles(std::u16string_view folder);

}  // namespace kestrom
