#include <windows.h>

#include "base/Path.h"
#include "base/TextConvert.h"
#include "base/WholeFile.h"

namespace kestrom {

CResult<std::string> ReadWholeFile(const std::string& path) {
    const std::wstring wide = WidePath(FromUtf8(path));
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND) return CStatus::Failure(file_cause::kFileNotFound);
        if (err == ERROR_PATH_NOT_FOUND) return CStatus::Failure(file_cause::kBadPath);
        return CStatus::Failure(file_cause::kAccessDenied);  // a folder among others
    }
    std::string bytes;
    char buf[16384];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
            ::CloseHandle(h);
            return CStatus::Failure(file_cause::kHardIO);
        }
        if (n == 0) break;
        bytes.append(buf, n);
    }
    ::CloseHandle(h);
    return bytes;
}

}  // namespace kestrom
