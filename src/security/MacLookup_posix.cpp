#include "base/WholeFile.h"
#include "security/MacLookup.h"

namespace kestrom {

const char* const kSystemArpTable = "/proc/net/arp";

std::optional<std::vector<uint8_t>> SystemHardwareAddress(uint32_t ip, const std::string& table) {
    // Loopback has no neighbours: the kernel's table has no entry for 127.x.x.x, so the
    // answer is known without reading it (a local client asks on every request).
    if ((ip >> 24) == 127) return std::nullopt;
    const auto text = ReadWholeFile(table);
    if (!text) return std::nullopt;
    return FindInArpTable(*text, ip);
}

}  // namespace kestrom
