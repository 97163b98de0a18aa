#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/AtomicFile.h"
#include "base/AtomicFileNames.h"
#include "base/FileCause.h"
#include "base/Path.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

std::string NativeFolder(std::u16string_view folder) {
    return NativePath(folder.empty() ? std::u16string_view(u".") : folder);
}

std::string FdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// Makes the rename itself durable.
void SyncFolder(std::u16string_view folder) {
    int fd = ::open(NativeFolder(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

CStatus CAtomicFileWriter::Create() {
    Discard();
    committed_ = false;
    // The target is held open from here to the end: once a rename unlinks it, its inode
    // number could otherwise be reused at once by a file another thread creates, which would
    // then meet this claim in the table and be refused as if it were being replaced.
    pin_ = ::open(NativePath(target_).c_str(), O_PATH | O_CLOEXEC);
    struct stat targetStat {};
    if (pin_ >= 0) {
        if (::fstat(pin_, &targetStat) != 0) {
            ::close(pin_);
            pin_ = -1;
        } else {
            claimed_ = {targetStat.st_dev, targetStat.st_ino};
            ticket_ = CShareModeTable::Process().TryAcquire(claimed_, kFileReplace, 0);
            if (ticket_ == 0) return Fail(file_cause::kSharingViolation);
            // Another writer may have renamed its file over the name between the open and the
            // claim: the claim then holds a file no longer there, and two writers would
            // replace the name at once. The name must still be the claimed file.
            struct stat nameStat {};
            if (::stat(NativePath(target_).c_str(), &nameStat) != 0 ||
                nameStat.st_dev != targetStat.st_dev || nameStat.st_ino != targetStat.st_ino)
                return Fail(file_cause::kSharingViolation);
        }
    }
    if (!CreateUnnamed()) {
        if (CStatus named = CreateNamed(); !named) {
            ReleaseClaim();
            return named;
        }
    }
    created_ = true;
    if (pin_ >= 0 && (lockFd_ < 0 || ::fchmod(lockFd_, targetStat.st_mode & 07777) != 0) &&
        !tempPath_.empty())
        ::chmod(NativePath(tempPath_).c_str(), targetStat.st_mode & 07777);
    return {};
}

bool CAtomicFileWriter::CreateUnnamed() {
    const int fd =
        ::open(NativeFolder(FolderPart(target_)).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // The file object opens it afresh through its descriptor's name in /proc; where /proc is
    // not to be had, the named way is taken.
    file_.SetPath(FromUtf8(FdPath(fd)));
    if (!file_.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::typeBinary)) {
        ::close(fd);
        return false;
    }
    ::flock(fd, LOCK_EX);
    lockFd_ = fd;
    unnamed_ = true;
    tempPath_.clear();
    return true;
}

CStatus CAtomicFileWriter::CreateNamed() {
    CStatus opened = CStatus::Failure(file_cause::kGeneric);
    // A name already taken (a collision, practically never) gets another try.
    for (int attempt = 0; attempt < 8; ++attempt) {
        tempPath_ = TempNameFor(target_);
        file_.SetPath(tempPath_);
        opened = file_.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate |
                            CFileEx::modeCreateNew | CFileEx::typeBinary);
        if (opened) {
            lockFd_ = ::open(NativePath(tempPath_).c_str(), O_RDONLY | O_CLOEXEC);
            if (lockFd_ >= 0) ::flock(lockFd_, LOCK_EX);
            unnamed_ = false;
            return opened;
        }
        if (opened.Cause() != file_cause::kAccessDenied ||
            ::access(NativePath(tempPath_).c_str(), F_OK) != 0)
            break;
    }
    return opened;
}

int CAtomicFileWriter::SyncAndClose() {
    if (!created_ || committed_) return file_cause::kInvalidFile;
    if (!file_.Sync() || !file_.Close()) return file_.Failure().Cause();
    return 0;
}

int CAtomicFileWriter::LinkUnnamed(const std::string& nativePath) const {
    if (::linkat(AT_FDCWD, FdPath(lockFd_).c_str(), AT_FDCWD, nativePath.c_str(),
                 AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

CStatus CAtomicFileWriter::Commit() {
    if (const int c = SyncAndClose()) return Fail(c);
    if (unnamed_) {
        // rename() is the only call that replaces a name in one step, so the content gets a
        // hidden name first, for the moment between the two calls.
        int err = EEXIST;
        for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
            tempPath_ = TempNameFor(target_);
            err = LinkUnnamed(NativePath(tempPath_));
        }
        if (err != 0) {
            tempPath_.clear();
            return Fail(FileCauseFromErrno(err));
        }
        unnamed_ = false;
    }
    if (::rename(NativePath(tempPath_).c_str(), NativePath(target_).c_str()) != 0)
        return Fail(FileCauseFromErrno(errno));
    MarkCommitted();  // the lock and the claim go; the content stays under the target's name
    // The new content is in place once the rename succeeded; a failed folder sync (which working
    // file systems do not report) leaves only its durability in doubt, so it is not a failure.
    SyncFolder(FolderPart(target_));
    return {};
}

CStatus CAtomicFileWriter::CommitNew() {
    if (const int c = SyncAndClose()) return Fail(c);
    // Both links refuse an existing name, where rename() would replace it.
    const std::string nativeTarget = NativePath(target_);
    const int err =
        unnamed_ ? LinkUnnamed(nativeTarget)
                 : (::link(NativePath(tempPath_).c_str(), nativeTarget.c_str()) == 0 ? 0 : errno);
    if (err != 0)
        return Fail(err == EEXIST ? file_cause::kSharingViolation : FileCauseFromErrno(err));
    Discard();  // only the temporary name goes; the content stays under the target's
    committed_ = true;
    SyncFolder(FolderPart(target_));
    return {};
}

void CAtomicFileWriter::Discard() {
    if (created_) {
        file_.Close();
        if (!tempPath_.empty()) ::unlink(NativePath(tempPath_).c_str());
        tempPath_.clear();
        created_ = false;
    }
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
    unnamed_ = false;
    ReleaseClaim();
}

void CAtomicFileWriter::ReleaseClaim() {
    if (ticket_ != 0) CShareModeTable::Process().Release(claimed_, ticket_);
    ticket_ = 0;
    if (pin_ >= 0) ::close(pin_);
    pin_ = -1;
}

bool CAtomicFileWriter::TargetExisted() const {
    return pin_ >= 0;
}

int RemoveStaleTemporaryFiles(std::u16string_view folder) {
    DIR* dir = ::opendir(NativeFolder(folder).c_str());
    if (!dir) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTempName(entry->d_name)) continue;
        const int fd =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // A writer at work holds its lock until its file has the target's name; flock locks
        // go with the process, so a lock to be had means the writer is gone.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

}  // namespace kestrom
