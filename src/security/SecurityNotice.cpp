#include "security/SecurityNotice.h"

namespace kestrom {

bool ReachableFromOtherHosts(std::span<const std::uint32_t> interfaceAddresses) {
    for (std::uint32_t a : interfaceAddresses)
        if ((a >> 24) != 127) return true;
    return false;
}

std::string OpenAccessWarning(const CKestromSettings& settings, bool reachable, int port) {
    if (settings.SecurityEnabled || !reachable) return {};
    return "Kestrom security is off: every device that can reach port " + std::to_string(port) +
           " of this computer is served and may upload results and start lists. See "
           "\"Securing a meet\" in the manual.";
}

}  // namespace kestrom
