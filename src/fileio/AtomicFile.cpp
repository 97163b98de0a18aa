#include "fileio/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "fileio/FileCause.h"
#include "fileio/Path.h"

namespace kestrom {

namespace {

std::u16string RandomSuffix() {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::random_device device;
    std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                         static_cast<std::uint64_t>(::getpid());
    std::u16string s;
    for (int i = 0; i < 12; ++i, bits >>= 4) s += kDigits[bits & 0xF];
    return s;
}

// Makes the rename itself durable.
void SyncFolder(std::u16string_view folder) {
    int fd = ::open(NativePath(folder.empty() ? std::u16string_view(u".") : folder).c_str(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

CAtomicFileWriter::CAtomicFileWriter(std::u16string targetPath) : target_(std::move(targetPath)) {}

CAtomicFileWriter::~CAtomicFileWriter() {
    Discard();
}

bool CAtomicFileWriter::Create(int* cause) {
    Discard();
    const std::u16string folder(FolderPart(target_));
    const std::u16string name(FileNamePart(target_));
    const std::string nativeTarget = NativePath(target_);
    struct stat targetStat {};
    const bool targetExists = ::stat(nativeTarget.c_str(), &targetStat) == 0;
    int c = file_cause::kGeneric;
    // A name already taken (a collision, practically never) gets another try.
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::u16string tempName = u"." + name + u"." + RandomSuffix() + u".tmp";
        file_.SetPath(folder.empty() ? tempName : JoinPath(folder, tempName));
        if (file_.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate |
                           CFileEx::modeCreateNew | CFileEx::typeBinary,
                       &c)) {
            created_ = true;
            committed_ = false;
            if (targetExists) {
                ::chmod(NativePath(file_.GetPath()).c_str(), targetStat.st_mode & 07777);
            }
            return true;
        }
        if (c != file_cause::kAccessDenied ||
            ::access(NativePath(file_.GetPath()).c_str(), F_OK) != 0) {
            break;
        }
    }
    if (cause) *cause = c;
    return false;
}

int CAtomicFileWriter::SyncAndClose() {
    if (!created_ || committed_) return file_cause::kInvalidFile;
    if (!file_.Sync() || !file_.Close())
        return file_.ErrorCause() ? file_.ErrorCause() : file_cause::kGeneric;
    return 0;
}

bool CAtomicFileWriter::Fail(int* cause, int c) {
    if (cause) *cause = c;
    Discard();
    return false;
}

bool CAtomicFileWriter::Commit(int* cause) {
    if (const int c = SyncAndClose()) return Fail(cause, c);
    const std::string nativeTarget = NativePath(target_);
    // Replacing the target writes it: an open in this process that denies writing keeps it, as
    // it would keep a replacement out on the platform whose sharing rules we follow.
    // The old file is held open until its ticket is gone: once the rename unlinks it, its
    // inode number could otherwise be reused at once by a file another thread creates, which
    // would then meet this ticket in the table and be refused as if shared.
    CShareModeTable& table = CShareModeTable::Process();
    struct stat st {};
    FileIdentity id{};
    std::uint64_t ticket = 0;
    const int pin = ::open(nativeTarget.c_str(), O_PATH | O_CLOEXEC);
    if (pin >= 0 && ::fstat(pin, &st) == 0) {
        id = {st.st_dev, st.st_ino};
        ticket = table.TryAcquire(id, kFileWrite, kFileRead | kFileWrite);
        if (ticket == 0) {
            ::close(pin);
            return Fail(cause, file_cause::kSharingViolation);
        }
    }
    int rc = ::rename(NativePath(file_.GetPath()).c_str(), nativeTarget.c_str());
    int renameErr = errno;
    if (ticket != 0) table.Release(id, ticket);
    if (pin >= 0) ::close(pin);
    if (rc != 0) return Fail(cause, FileCauseFromErrno(renameErr));
    committed_ = true;
    created_ = false;
    // The new content is in place once the rename succeeded; a failed folder sync (which working
    // file systems do not report) leaves only its durability in doubt, so it is not a failure.
    SyncFolder(FolderPart(target_));
    return true;
}

bool CAtomicFileWriter::CommitNew(int* cause) {
    if (const int c = SyncAndClose()) return Fail(cause, c);
    // link() refuses an existing name, where rename() would replace it.
    if (::link(NativePath(file_.GetPath()).c_str(), NativePath(target_).c_str()) != 0) {
        const int err = errno;
        return Fail(cause, err == EEXIST ? file_cause::kSharingViolation : FileCauseFromErrno(err));
    }
    Discard();  // only the temporary name goes; the content stays under the target's
    committed_ = true;
    SyncFolder(FolderPart(target_));
    return true;
}

void CAtomicFileWriter::Discard() {
    if (!created_) return;
    file_.Close();
    ::unlink(NativePath(file_.GetPath()).c_str());
    created_ = false;
}

bool WriteFileAtomically(std::u16string_view path, std::string_view bytes, int* cause) {
    CAtomicFileWriter writer{std::u16string(path)};
    if (!writer.Create(cause)) return false;
    if (!writer.File().Write(bytes.data(), bytes.size())) {
        if (cause) *cause = writer.File().ErrorCause();
        return false;
    }
    return writer.Commit(cause);
}

}  // namespace kestrom
