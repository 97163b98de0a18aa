#include <sys/statvfs.h>

#include "base/DiskSpace.h"
#include "base/Path.h"

namespace kestrom {

std::optional<std::uint64_t> FreeBytesIn(std::u16string_view folder) {
    struct statvfs fs {};
    if (::statvfs(NativePath(folder.empty() ? std::u16string_view(u".") : folder).c_str(), &fs) !=
        0)
        return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

}  // namespace kestrom
