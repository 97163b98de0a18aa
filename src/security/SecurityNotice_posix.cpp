#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include "security/SecurityNotice.h"

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

}  // namespace kestrom
