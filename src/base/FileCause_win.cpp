#include <windows.h>

#include "base/FileCause.h"

namespace kestrom {

int FileCauseFromWin32(unsigned long err) {
    switch (err) {
        case ERROR_SUCCESS:
            return file_cause::kNone;
        case ERROR_FILE_NOT_FOUND:
            return file_cause::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return file_cause::kBadPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return file_cause::kTooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_WRITE_PROTECT:
            return file_cause::kAccessDenied;
        case ERROR_INVALID_HANDLE:
            return file_cause::kInvalidFile;
        case ERROR_CURRENT_DIRECTORY:
            return file_cause::kRemoveCurrentDir;
        case ERROR_NEGATIVE_SEEK:
        case ERROR_SEEK:
            return file_cause::kBadSeek;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_IO_DEVICE:
            return file_cause::kHardIO;
        case ERROR_SHARING_VIOLATION:
            return file_cause::kSharingViolation;
        case ERROR_LOCK_VIOLATION:
            return file_cause::kLockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return file_cause::kDiskFull;
        case ERROR_HANDLE_EOF:
            return file_cause::kEndOfFile;
        default:
            return file_cause::kGeneric;
    }
}

}  // namespace kestrom
