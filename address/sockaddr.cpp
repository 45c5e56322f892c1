#include "address/sockaddr.h"

#include <cstdlib>
#include <cstring>

sockaddr_in create_sockaddrin(int family, const char* host, const char* port) {
    sockaddr_in addr{};
    addr.sin_family = static_cast<sa_family_t>(family);
    addr.sin_port = htons(static_cast<uint16_t>(port ? std::atoi(port) : 0));
    if (host == nullptr || host[0] == '\0' || std::strncmp(host, "0.0.0.0", 7) == 0)
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
    else
        addr.sin_addr.s_addr = plat::inet_addr(host);
    return addr;
}
