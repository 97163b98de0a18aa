#pragma once
// The one way the server replaces a file: the new content goes to a uniquely named temporary
// file in the target's folder, is flushed to the disk, and is renamed over the target, and the
// folder is synced; a crash or a failure leaves the old file or the new one, never a torn one.
#include <string>
#include <string_view>

#include "fileio/FileEx.h"

namespace kestrom {

class CAtomicFileWriter {
  public:
    explicit CAtomicFileWriter(std::u16string targetPath);
    // Removes the temporary file unless it was committed.
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Creates the temporary file (write access, not shared; the target's permissions when it
    // exists). False with a file_cause code in *cause when it cannot be created.
    bool Create(int* cause = nullptr);
    // The open temporary file: write text or bytes through it (its modes are the caller's).
    CFileEx& File() { return file_; }
    const std::u16string& TempPath() const { return file_.GetPath(); }
    const std::u16string& TargetPath() const { return target_; }

    // Flushes and syncs the temporary file, renames it over the target and syncs the folder.
    // False with a cause when any step (or an earlier write) failed; the target is then as it
    // was and the temporary file is removed.
    bool Commit(int* cause = nullptr);
    // For a target that must not exist yet: syncs the temporary file and gives it the target's
    // name only if that name is still free, so the new file appears holding its whole content.
    // False (cause 11 when the name was taken) leaves any existing target untouched.
    bool CommitNew(int* cause = nullptr);
    // Drops the temporary file; the target stays as it was.
    void Discard();

  private:
    // Puts the written content on disk and closes the temporary file: 0, or the cause.
    int SyncAndClose();
    // Sets *cause (when given), drops the temporary file and returns false.
    bool Fail(int* cause, int c);

    std::u16string target_;
    CFileEx file_;
    bool created_ = false;
    bool committed_ = false;
};

// Replaces path with bytes through CAtomicFileWriter.
bool WriteFileAtomically(std::u16string_view path, std::string_view bytes, int* cause = nullptr);

}  // namespace kestrom
