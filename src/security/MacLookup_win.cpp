#include <winsock2.h>
// After winsock2.h, which it needs.
#include <iphlpapi.h>

#include "security/MacLookup.h"

namespace kestrom {

const char* const kSystemArpTable = "";

std::optional<std::vector<uint8_t>> SystemHardwareAddress(uint32_t ip, const std::string&) {
    if ((ip >> 24) == 127) return std::nullopt;
    ULONG mac[2] = {};
    ULONG length = sizeof mac;
    // Wine answers ERROR_NOT_SUPPORTED: no address, as for a peer on another subnet.
    if (::SendARP(htonl(ip), 0, mac, &length) != NO_ERROR || length == 0) return std::nullopt;
    const auto* bytes = reinterpret_cast<const uint8_t*>(mac);
    return std::vector<uint8_t>(bytes, bytes + std::min<ULONG>(length, 6));
}

}  // namespace kestrom
