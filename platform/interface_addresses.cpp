#include "platform/interface_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

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

unsigned interface_index(const char* name) {
    return name ? ::if_nametoindex(name) : 0;
}

bool interface_name(unsigned index, char* out, int size) {
    char name[IF_NAMESIZE] = {};
    if (index == 0 || size <= 0 || !::if_indextoname(index, name)) return false;
    const size_t length = ::strnlen(name, sizeof name);
    if (length >= size_t(size)) return false;
    std::memcpy(out, name, length + 1);
    return true;
}

} // namespace plat
