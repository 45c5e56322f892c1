#include "platform/interface_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace plat {

std::optional<std::vector<interface_ipv4>> interface_ipv4_addresses() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::vector<interface_ipv4> found;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_netmask) continue;
        const auto* address = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        const auto* mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask);
        found.push_back({ntohl(address->sin_addr.s_addr), ntohl(mask->sin_addr.s_addr)});
    }
    ::freeifaddrs(list);
    return found;
}

} // namespace plat
