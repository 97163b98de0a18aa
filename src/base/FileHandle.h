#pragma once
// The system side of CFileEx: one open file with the access and sharing CFileEx's flags ask
// for, and the byte calls on it. On Linux a descriptor whose sharing the process-wide
// share-mode table enforces; on Windows a HANDLE from CreateFileW, whose share flags the
// system enforces between handles and processes alike.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/ShareModeTable.h"

namespace kestrom {

class CFileHandle {
  public:
    CFileHandle() = default;
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // Opens path with CFileEx's open flags: 0, or a file_cause code (kSharingViolation when
    // another open's sharing forbids it). A refused open changes nothing on the disk.
    int Open(std::u16string_view path, unsigned flags);
    bool IsOpen() const { return handle_ != kNone; }
    // A regular file opened for reading only.
    bool IsReadOnlyFile() const { return readOnlyFile_; }
    // 0, or the cause of a failed close. Closing a closed handle does nothing.
    int Close();

    // Bytes read (0 at the end), or -1 with the cause in cause.
    std::int64_t ReadSome(void* data, std::size_t size, int& cause);
    // 0 once every byte is written, else the cause.
    int WriteAll(const void* data, std::size_t size);
    // 0 once the written data is on the disk, else the cause.
    int Sync();
    bool SeekBy(std::int64_t delta);
    bool SeekTo(std::uint64_t position);
    // False when the length cannot be read.
    bool Length(std::uint64_t& length);
    int Truncate(std::uint64_t length);

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;  // a descriptor, or a HANDLE
    bool readOnlyFile_ = false;
    // Linux only: the open's entry in the share-mode table.
    FileIdentity identity_{};
    std::uint64_t shareTicket_ = 0;
};

// Deletes the file at `path`, even one marked read-only (Windows refuses to delete those
// until the mark is cleared): 0, or a file_cause code.
int RemoveFile(std::u16string_view path);

}  // namespace kestrom
