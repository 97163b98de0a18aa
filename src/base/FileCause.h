#pragma once
// Cause codes of a failed file operation and the texts shown for them in log lines. The codes
// follow the numbering clients and operators know from the original platform's file errors.
#include <string_view>

namespace kestrom {

namespace file_cause {
constexpr int kNone = 0;
constexpr int kGeneric = 1;
constexpr int kFileNotFound = 2;
constexpr int kBadPath = 3;
constexpr int kTooManyOpenFiles = 4;
constexpr int kAccessDenied = 5;
constexpr int kInvalidFile = 6;
constexpr int kRemoveCurrentDir = 7;
constexpr int kDirectoryFull = 8;
constexpr int kBadSeek = 9;
constexpr int kHardIO = 10;
constexpr int kSharingViolation = 11;
constexpr int kLockViolation = 12;
constexpr int kDiskFull = 13;
constexpr int kEndOfFile = 14;
}  // namespace file_cause

// The text for a cause code; empty for codes that have none (0 and unknown codes).
std::u16string_view FileCauseText(int cause);

// Maps an errno value to the nearest cause code. ENOENT maps to kFileNotFound; callers that
// know the folder is missing too refine it to kBadPath.
int FileCauseFromErrno(int err);

#ifdef _WIN32
// Maps a Win32 error code (GetLastError) to the nearest cause code.
int FileCauseFromWin32(unsigned long err);
#endif

}  // namespace kestrom
