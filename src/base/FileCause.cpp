#include "base/FileCause.h"

#include <cerrno>

namespace kestrom {

std::u16string_view FileCauseText(int cause) {
    switch (cause) {
        case file_cause::kGeneric:
            return u"The end of file was reached.";
        case file_cause::kFileNotFound:
            return u"The file could not be located.";
        case file_cause::kBadPath:
            return u"All or part of the path is invalid.";
        case file_cause::kTooManyOpenFiles:
            return u"The permitted number of open files was exceeded.";
        case file_cause::kAccessDenied:
            return u"The file could not be accessed.";
        case file_cause::kInvalidFile:
            return u"There was an attempt to use an invalid file handle.";
        case file_cause::kRemoveCurrentDir:
            return u"The current working directory cannot be removed.";
        case file_cause::kDirectoryFull:
            return u"There are no more directory entries.";
        case file_cause::kBadSeek:
            return u"There was an error trying to set the file pointer.";
        case file_cause::kHardIO:
            return u"There was a hardware error.";
        case file_cause::kSharingViolation:
        case file_cause::kEndOfFile:
            return u"SHARE.EXE was not loaded, or a shared region was locked.";
        case file_cause::kLockViolation:
            return u"There was an attempt to lock a region that was already locked.";
        case file_cause::kDiskFull:
            return u"The disk is full.";
        default:
            return u"";
    }
}

int FileCauseFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return file_cause::kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EXDEV:
            return file_cause::kBadPath;
        case EMFILE:
        case ENFILE:
            return file_cause::kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
        case EEXIST:
            return file_cause::kAccessDenied;
        case EBADF:
            return file_cause::kInvalidFile;
        case EBUSY:
            return file_cause::kRemoveCurrentDir;
        case EMLINK:
            return file_cause::kDirectoryFull;
        case ESPIPE:
        case EOVERFLOW:
            return file_cause::kBadSeek;
        case EIO:
            return file_cause::kHardIO;
        case EAGAIN:
            return file_cause::kLockViolation;
        case ENOSPC:
#ifdef EDQUOT  // the Windows C runtime has no quotas
        case EDQUOT:
#endif
        case EFBIG:
            return file_cause::kDiskFull;
        default:
            return file_cause::kGeneric;
    }
}

}  // namespace kestrom
