#include <windows.h>

#include "base/DiskSpace.h"
#include "base/Path.h"

namespace kestrom {

std::optional<std::uint64_t> FreeBytesIn(std::u16string_view folder) {
    // The bytes available to this user, quotas counted.
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(
            WidePath(folder.empty() ? std::u16string_view(u".") : folder).c_str(), &available,
            nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

}  // namespace kestrom
