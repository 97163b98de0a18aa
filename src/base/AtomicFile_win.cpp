#include <windows.h>

#include <mutex>
#include <set>

#include "base/AtomicFile.h"
#include "base/AtomicFileNames.h"
#include "base/FileCause.h"
#include "base/FileFind.h"
#include "base/Path.h"
#include "base/TextConvert.h"

namespace kestrom {

namespace {

// A reader holding the target open keeps MoveFileExW from replacing it; it is given this long
// (40 x 50 ms) to close before the write fails.
constexpr int kReplaceAttempts = 40;
constexpr DWORD kReplaceRetryMs = 50;

// Targets claimed by this process's writers; two replacements of one file would otherwise
// both succeed, the second silently undoing the first.
std::mutex gClaimsMutex;
std::set<std::wstring> gClaims;

std::wstring ClaimKey(std::u16string_view path) {
    const std::wstring wide = WidePath(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD n =
        ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    }
    full.resize(n == 0 ? 0 : n);
    if (full.empty()) full = wide;
    // Windows ignores case in file names.
    ::CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
    return full;
}

bool IsRetriable(DWORD err) {
    return err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED ||
           err == ERROR_LOCK_VIOLATION;
}

}  // namespace

bool CAtomicFileWriter::TargetExisted() const {
    return targetExisted_;
}

CStatus CAtomicFileWriter::Create() {
    Discard();
    committed_ = false;
    claimKey_ = ClaimKey(target_);
    {
        std::lock_guard lock(gClaimsMutex);
        if (!gClaims.insert(claimKey_).second) {
            claimKey_.clear();
            return CStatus::Failure(file_cause::kSharingViolation);
        }
    }
    HANDLE h =
        ::CreateFileW(WidePath(target_).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        claim_ = h;
        targetExisted_ = true;
    } else {
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND)
            return Fail(FileCauseFromWin32(err));
    }
    if (CStatus named = CreateNamed(); !named) {
        ReleaseClaim();
        return named;
    }
    created_ = true;
    return {};
}

bool CAtomicFileWriter::CreateUnnamed() {
    return false;  // Windows has no unnamed files
}

CStatus CAtomicFileWriter::CreateNamed() {
    CStatus opened = CStatus::Failure(file_cause::kGeneric);
    // A name already taken (a collision, practically never) gets another try.
    for (int attempt = 0; attempt < 8; ++attempt) {
        tempPath_ = TempNameFor(target_);
        file_.SetPath(tempPath_);
        // Exclusive and held open until the rename: RemoveStaleTemporaryFiles cannot
        // delete it meanwhile.
        opened = file_.Open(CFileEx::modeWrite | CFileEx::shareExclusive | CFileEx::modeCreate |
                            CFileEx::modeCreateNew | CFileEx::typeBinary);
        if (opened) {
            ::SetFileAttributesW(WidePath(tempPath_).c_str(), FILE_ATTRIBUTE_HIDDEN);
            unnamed_ = false;
            return opened;
        }
        if (opened.Cause() != file_cause::kAccessDenied) break;
    }
    tempPath_.clear();
    return opened;
}

int CAtomicFileWriter::SyncAndClose() {
    if (!created_ || committed_) return file_cause::kInvalidFile;
    // Sync is FlushFileBuffers: the content is on the disk before the name points at it.
    if (!file_.Sync() || !file_.Close()) return file_.Failure().Cause();
    return 0;
}

int CAtomicFileWriter::LinkUnnamed(const std::string&) const {
    return ERROR_NOT_SUPPORTED;
}

CStatus CAtomicFileWriter::Commit() {
    if (const int c = SyncAndClose()) return Fail(c);
    // The claim's own handle would keep the rename from replacing the target.
    if (claim_) ::CloseHandle(static_cast<HANDLE>(claim_));
    claim_ = nullptr;
    const std::wstring from = WidePath(tempPath_), to = WidePath(target_);
    DWORD err = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            err = ERROR_SUCCESS;
            break;
        }
        err = ::GetLastError();
        if (!IsRetriable(err)) break;
        ::Sleep(kReplaceRetryMs);
    }
    if (err != ERROR_SUCCESS) {
        const int c = IsRetriable(err) ? file_cause::kSharingViolation : FileCauseFromWin32(err);
        return Fail(c);
    }
    // The file is no longer hidden under its new name.
    ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    MarkCommitted();
    return {};
}

CStatus CAtomicFileWriter::CommitNew() {
    if (const int c = SyncAndClose()) return Fail(c);
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name.
    const std::wstring to = WidePath(target_);
    if (!::MoveFileExW(WidePath(tempPath_).c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = ::GetLastError();
        return Fail(err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS
                        ? file_cause::kSharingViolation
                        : FileCauseFromWin32(err));
    }
    ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    MarkCommitted();
    return {};
}

void CAtomicFileWriter::Discard() {
    if (created_) {
        file_.Close();
        if (!tempPath_.empty()) ::DeleteFileW(WidePath(tempPath_).c_str());
        tempPath_.clear();
        created_ = false;
    }
    unnamed_ = false;
    ReleaseClaim();
}

void CAtomicFileWriter::ReleaseClaim() {
    if (claim_) ::CloseHandle(static_cast<HANDLE>(claim_));
    claim_ = nullptr;
    targetExisted_ = false;
    if (!claimKey_.empty()) {
        std::lock_guard lock(gClaimsMutex);
        gClaims.erase(claimKey_);
        claimKey_.clear();
    }
}

int RemoveStaleTemporaryFiles(std::u16string_view folder) {
    int removed = 0;
    // A writer at work holds its file open without delete sharing, so only the leftovers of
    // a crashed run can be deleted.
    for (const FoundFile& f : FindFiles(folder, u".*.tmp").files) {
        if (f.isDirectory || !IsTempName(ToUtf8(f.name))) continue;
        if (::DeleteFileW(WidePath(JoinPath(folder, f.name)).c_str())) ++removed;
    }
    return removed;
}

}  // namespace kestrom
