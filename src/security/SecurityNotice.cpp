#include "security/SecurityNotice.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace kestrom {

std::vector<std::uint32_t> InterfaceAddresses() {
    std::vector<std::uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return addresses;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        addresses.push_back(ntohl(in->sin_addr.s_addr));
    }
    ::freeifaddrs(list);
    return addresses;
}

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
