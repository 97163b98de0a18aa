#include <windows.h>

#include "base/FileCause.h"
#include "base/FileEx.h"
#include "base/FileHandle.h"
#include "base/Path.h"

namespace kestrom {

namespace {

constexpr int kReaderOpenAttempts = 20;
constexpr DWORD kReaderOpenRetryMs = 2;

HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

DWORD DesiredAccess(unsigned flags) {
    switch (flags & 0x3) {
        case CFileEx::modeWrite:
            return GENERIC_WRITE;
        case CFileEx::modeReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
        default:
            return GENERIC_READ;
    }
}

// No FILE_SHARE_DELETE: an open file is never renamed over or removed under its holder, so a
// replacement waits for readers (see CAtomicFileWriter).
DWORD ShareFlags(unsigned flags) {
    switch (flags & 0x70) {
        case CFileEx::shareDenyWrite:
            return FILE_SHARE_READ;
        case CFileEx::shareDenyRead:
            return FILE_SHARE_WRITE;
        case CFileEx::shareDenyNone:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default:  // shareExclusive and shareCompat
            return 0;
    }
}

DWORD Disposition(unsigned flags) {
    if (!(flags & CFileEx::modeCreate)) return OPEN_EXISTING;
    return (flags & CFileEx::modeCreateNew) ? CREATE_NEW : OPEN_ALWAYS;
}

}  // namespace

int CFileHandle::Open(std::u16string_view path, unsigned flags) {
    Close();
    const std::wstring wide = WidePath(path);
    const DWORD access = DesiredAccess(flags);
    // The system checks the share flags before it creates or empties anything, so a refused
    // open changes nothing; OPEN_ALWAYS and an explicit truncation keep a hidden or read-only
    // file's attributes, which CREATE_ALWAYS would refuse.
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0;; ++attempt) {
        h = ::CreateFileW(wide.c_str(), access, ShareFlags(flags), nullptr, Disposition(flags),
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        const DWORD err = ::GetLastError();
        // Windows: while MoveFileExW renames a new file over this name, an open of it is
        // refused for a moment (sharing violation, or access denied while the old file is
        // being deleted). A reader tries again briefly instead of answering that the file
        // cannot be read; a file someone else holds for good is refused a few ms later.
        const bool replacing = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED;
        if (!replacing || (access & GENERIC_WRITE) || attempt >= kReaderOpenAttempts)
            return FileCauseFromWin32(err);
        ::Sleep(kReaderOpenRetryMs);
    }
    if ((flags & CFileEx::modeCreate) && !(flags & CFileEx::modeNoTruncate) &&
        (access & GENERIC_WRITE)) {
        LARGE_INTEGER size{};
        if (::GetFileSizeEx(h, &size) && size.QuadPart > 0 && !::SetEndOfFile(h)) {
            const int c = FileCauseFromWin32(::GetLastError());
            ::CloseHandle(h);
            return c;
        }
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    readOnlyFile_ = (flags & 0x3) == CFileEx::modeRead && ::GetFileType(h) == FILE_TYPE_DISK;
    return 0;
}

int CFileHandle::Close() {
    if (handle_ == kNone) return 0;
    const BOOL ok = ::CloseHandle(AsHandle(handle_));
    handle_ = kNone;
    return ok ? 0 : FileCauseFromWin32(::GetLastError());
}

std::int64_t CFileHandle::ReadSome(void* data, std::size_t size, int& cause) {
    auto* bytes = static_cast<unsigned char*>(data);
    std::int64_t done = 0;
    // ReadFile takes a DWORD count; a read never asks for more than the caller's buffer.
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD n = 0;
        if (!::ReadFile(AsHandle(handle_), bytes, chunk, &n, nullptr)) {
            const DWORD err = ::GetLastError();
            if (err == ERROR_HANDLE_EOF || err == ERROR_BROKEN_PIPE) break;
            if (done > 0) break;
            cause = FileCauseFromWin32(err);
            return -1;
        }
        done += n;
        if (n < chunk) break;
        bytes += n;
        size -= n;
    }
    return done;
}

int CFileHandle::WriteAll(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD n = 0;
        if (!::WriteFile(AsHandle(handle_), bytes, chunk, &n, nullptr))
            return FileCauseFromWin32(::GetLastError());
        if (n == 0) return file_cause::kDiskFull;
        bytes += n;
        size -= n;
    }
    return 0;
}

int CFileHandle::Sync() {
    return ::FlushFileBuffers(AsHandle(handle_)) ? 0 : FileCauseFromWin32(::GetLastError());
}

bool CFileHandle::SeekBy(std::int64_t delta) {
    LARGE_INTEGER move{};
    move.QuadPart = delta;
    return ::SetFilePointerEx(AsHandle(handle_), move, nullptr, FILE_CURRENT) != 0;
}

bool CFileHandle::SeekTo(std::uint64_t position) {
    LARGE_INTEGER move{};
    move.QuadPart = static_cast<LONGLONG>(position);
    return ::SetFilePointerEx(AsHandle(handle_), move, nullptr, FILE_BEGIN) != 0;
}

bool CFileHandle::Length(std::uint64_t& length) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(AsHandle(handle_), &size)) return false;
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

int CFileHandle::Truncate(std::uint64_t length) {
    // SetEndOfFile cuts at the file pointer, which must stay where it was.
    LARGE_INTEGER here{}, zero{}, target{};
    target.QuadPart = static_cast<LONGLONG>(length);
    HANDLE h = AsHandle(handle_);
    if (!::SetFilePointerEx(h, zero, &here, FILE_CURRENT) ||
        !::SetFilePointerEx(h, target, nullptr, FILE_BEGIN))
        return file_cause::kBadSeek;
    const int c = ::SetEndOfFile(h) ? 0 : FileCauseFromWin32(::GetLastError());
    ::SetFilePointerEx(h, here, nullptr, FILE_BEGIN);
    return c;
}

int RemoveFile(std::u16string_view path) {
    const std::wstring wide = WidePath(path);
    if (::DeleteFileW(wide.c_str())) return 0;
    DWORD err = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (err == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) &&
        ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        if (::DeleteFileW(wide.c_str())) return 0;
        err = ::GetLastError();
        ::SetFileAttributesW(wide.c_str(), attributes);  // left as it was found
    }
    return FileCauseFromWin32(err);
}

}  // namespace kestrom
