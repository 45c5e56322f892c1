#include "address/address_text.h"

#include "platform/resolver.h"
#include "platform/socket_errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kLocalPathSize = sizeof(sockaddr_un::sun_path); // 108

uint16_t port_of_text(const char* port) {
    return htons(static_cast<uint16_t>(port ? std::atoi(port) : 0));
}

// The one rule shared by every address-to-text member: the caller's buffer is cleared, then the
// record is written as `family` says. Null for a family not handled.
char* format_as(int family, const sockaddr* addr, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return nullptr;
    std::memset(buffer, 0, static_cast<size_t>(size));
    const auto n = static_cast<size_t>(size);
    if (family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
        char text[ADDRTEXT_IPV6] = "";
        addr_to_text(AF_INET6, &in6->sin6_addr, text, sizeof text);
        std::snprintf(buffer, n, "[%s]:%d", text, ntohs(in6->sin6_port));
        return buffer;
    }
    if (family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        char text[ADDRTEXT_IPV4] = "";
        addr_to_text(AF_INET, &in->sin_addr, text, sizeof text);
        std::snprintf(buffer, n, "%s:%d", text, ntohs(in->sin_port));
        return buffer;
    }
    if (family == AF_UNIX) {
        // The path may fill all 108 bytes without a terminator; the copy always keeps one.
        const auto* un = reinterpret_cast<const sockaddr_un*>(addr);
        const size_t len = strnlen(un->sun_path, kLocalPathSize);
        std::memcpy(buffer, un->sun_path, len < n - 1 ? len : n - 1);
        return buffer;
    }
    return nullptr;
}

// Reads a socket's own or peer address (the two differ only in the call) into a zeroed area
// large enough for any family, and writes it as text.
using AddressQuery = int (*)(int, sockaddr*, int*);

char* socket_address_text(AddressQuery query, int32_t sock, char* buffer, int size) {
    sockaddr_storage area{};
    int len = sizeof area;
    if (query(sock, reinterpret_cast<sockaddr*>(&area), &len) != 0) return nullptr;
    return format_as(area.ss_family, reinterpret_cast<const sockaddr*>(&area), buffer, size);
}

} // namespace

sockaddr_in6 create_sockaddrin6(int family, const char* host, const char* port) {
    sockaddr_in6 addr{};
    addr.sin6_family = static_cast<sa_family_t>(family);
    addr.sin6_port = port_of_text(port);
    const bool unspecified = host == nullptr || host[0] == '\0' || std::strcmp(host, "::") == 0;
    if (!unspecified && text_to_addr(AF_INET6, host, &addr.sin6_addr) != 1)
        addr.sin6_addr = in6_addr{};
    return addr;
}

sockaddr_un create_sockaddrun(int family, const char* path) {
    sockaddr_un addr{};
    addr.sun_family = static_cast<sa_family_t>(family);
    // A path of the full field size fills it without a terminator, which the kernel accepts
    // (the address length bounds it); longer paths are cut.
    if (path) std::memcpy(addr.sun_path, path, strnlen(path, kLocalPathSize));
    return addr;
}

char* addr_to_text(int family, const void* raw, char* buffer, int size) {
    if (buffer == nullptr || raw == nullptr) return nullptr;
    if (plat::address_to_text(family, raw, buffer, size) == 0) return buffer;
    errno = plat::translate_errno(errno);
    return nullptr;
}

int text_to_addr(int family, const char* text, void* raw) {
    if (text == nullptr) {
        errno = ENOMEM;
        return 0;
    }
    if (family != AF_INET && family != AF_INET6) {
        errno = plat::translate_errno(EAFNOSUPPORT);
        return -1;
    }
    const int r = plat::text_to_address(family, text, raw);
    if (r < 0) {
        errno = plat::translate_errno(errno);
        return -1;
    }
    return r;
}

char* sockname_to_text(int32_t sock, char* buffer, int size) {
    return socket_address_text(plat::getsockname, sock, buffer, size);
}

char* peername_to_text(int32_t sock, char* buffer, int size) {
    return socket_address_text(plat::getpeername, sock, buffer, size);
}

char* sockaddr_to_text(const sockaddr* addr, char* buffer, int size) {
    if (addr == nullptr) return nullptr;
    return format_as(addr->sa_family, addr, buffer, size);
}

char* sockaddrin_to_text(sockaddr_in addr, char* buffer, int size) {
    format_as(AF_INET, reinterpret_cast<const sockaddr*>(&addr), buffer, size);
    return buffer;
}

char* sockaddrun_to_text(sockaddr_un addr, char* buffer, int size) {
    format_as(AF_UNIX, reinterpret_cast<const sockaddr*>(&addr), buffer, size);
    return buffer;
}

char* reverse_name(const char* address, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return buffer;
    const uint32_t a = plat::inet_addr(address ? address : "");
    uint8_t b[4];
    std::memcpy(b, &a, 4); // network order: b[0] is the first number of the text
    std::snprintf(buffer, static_cast<size_t>(size), "%u.%u.%u.%u.in-addr.arpa", b[3], b[2], b[1],
                  b[0]);
    return buffer;
}
