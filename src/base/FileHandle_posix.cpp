#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/FileHandle.h"
#include "base/Path.h"

namespace kestrom {

namespace {

unsigned AccessBits(unsigned flags) {
    switch (flags & 0x3) {
        case CFileEx::modeWrite:
            return kFileWrite;
        case CFileEx::modeReadWrite:
            return kFileRead | kFileWrite;
        default:
            return kFileRead;
    }
}

unsigned ShareBits(unsigned flags) {
    switch (flags & 0x70) {
        case CFileEx::shareDenyWrite:
            return kFileRead;
        case CFileEx::shareDenyRead:
            return kFileWrite;
        case CFileEx::shareDenyNone:
            return kFileRead | kFileWrite;
        default:  // shareExclusive, and shareCompat, which Windows treats alike
            return 0;
    }
}

// ENOENT means a missing folder as often as a missing file; tell them apart as Windows does.
int OpenFailureCause(int err, std::u16string_view path) {
    int cause = FileCauseFromErrno(err);
    if (err == ENOENT) {
        std::u16string_view folder = FolderPart(path);
        struct stat st {};
        if (!folder.empty() &&
            (::stat(NativePath(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            cause = file_cause::kBadPath;
        }
    }
    return cause;
}

}  // namespace

int CFileHandle::Open(std::u16string_view path, unsigned flags) {
    Close();
    const unsigned access = flags & 0x3;
    int oflags = O_CLOEXEC | (access == CFileEx::modeWrite       ? O_WRONLY
                              : access == CFileEx::modeReadWrite ? O_RDWR
                                                                 : O_RDONLY);
    if (flags & CFileEx::modeCreate) {
        oflags |= O_CREAT;
        if (flags & CFileEx::modeCreateNew) oflags |= O_EXCL;
    }
    const std::string native = NativePath(path);
    int fd;
    do {
        fd = ::open(native.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return OpenFailureCause(errno, path);

    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return file_cause::kAccessDenied;
    }
    FileIdentity id{st.st_dev, st.st_ino};
    std::uint64_t ticket =
        CShareModeTable::Process().TryAcquire(id, AccessBits(flags), ShareBits(flags));
    if (ticket == 0) {
        ::close(fd);
        return file_cause::kSharingViolation;
    }
    // Emptied only once the sharing check has let us in: a refused open changes nothing.
    if ((flags & CFileEx::modeCreate) && !(flags & CFileEx::modeNoTruncate) && st.st_size > 0) {
        int rc = access == CFileEx::modeRead ? ::truncate(native.c_str(), 0) : ::ftruncate(fd, 0);
        if (rc != 0) {
            int c = FileCauseFromErrno(errno);
            CShareModeTable::Process().Release(id, ticket);
            ::close(fd);
            return c;
        }
    }
    handle_ = fd;
    readOnlyFile_ = access == CFileEx::modeRead && S_ISREG(st.st_mode);
    identity_ = id;
    shareTicket_ = ticket;
    return 0;
}

int CFileHandle::Close() {
    if (handle_ == kNone) return 0;
    CShareModeTable::Process().Release(identity_, shareTicket_);
    shareTicket_ = 0;
    const int rc = ::close(static_cast<int>(handle_));
    handle_ = kNone;
    return rc != 0 ? FileCauseFromErrno(errno) : 0;
}

std::int64_t CFileHandle::ReadSome(void* data, std::size_t size, int& cause) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), data, size);
        if (n >= 0) return n;
        if (errno != EINTR) {
            cause = FileCauseFromErrno(errno);
            return -1;
        }
    }
}

int CFileHandle::WriteAll(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileCauseFromErrno(errno);
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int CFileHandle::Sync() {
    int rc;
    do {
        rc = ::fsync(static_cast<int>(handle_));
    } while (rc != 0 && errno == EINTR);
    return rc != 0 ? FileCauseFromErrno(errno) : 0;
}

bool CFileHandle::SeekBy(std::int64_t delta) {
    return ::lseek(static_cast<int>(handle_), static_cast<off_t>(delta), SEEK_CUR) >= 0;
}

bool CFileHandle::SeekTo(std::uint64_t position) {
    return ::lseek(static_cast<int>(handle_), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool CFileHandle::Length(std::uint64_t& length) {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) return false;
    length = static_cast<std::uint64_t>(st.st_size);
    return true;
}

int CFileHandle::Truncate(std::uint64_t length) {
    return ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(length)) != 0
               ? FileCauseFromErrno(errno)
               : 0;
}

int RemoveFile(std::u16string_view path) {
    return ::unlink(NativePath(path).c_str()) == 0 ? 0 : FileCauseFromErrno(errno);
}

}  // namespace kestrom
