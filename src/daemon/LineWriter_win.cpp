#include <io.h>
#include <windows.h>

#include <algorithm>

#include "daemon/LineWriter.h"

namespace kestrom {

namespace {

constexpr std::size_t kWriteChunk = 4096;

}  // namespace

// Windows cannot wait for room in a pipe or console, so a stop cannot give up on an output
// that is never read: the write blocks as long as the reader does.
void CLineWriter::WriteOut(std::string_view bytes) {
    if (fd_ < 0) return;
    const HANDLE out = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    if (out == INVALID_HANDLE_VALUE) return;
    while (!bytes.empty()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kWriteChunk));
        // A closed or broken standard output loses the log, not the requests.
        if (!::WriteFile(out, bytes.data(), chunk, &n, nullptr) || n == 0) return;
        bytes.remove_prefix(n);
    }
}

}  // namespace kestrom
