#include "address/name_services.h"

#include "address/address_text.h"
#include "net/socket.h"
#include "platform/resolver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool started() {
    return sock_startup() == 1;
}

// A number text accepted as a port or protocol number: the whole text, within [1, max].
int number_or_fail(const char* text, long max) {
    if (text == nullptr) return -1;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < 1 || v > max) return -1;
    return static_cast<int>(v);
}

char* copy_name(const std::string& name, char* buffer, int size) {
    if (buffer == nullptr || size <= 0 || name.size() + 1 > static_cast<size_t>(size))
        return nullptr;
    std::memset(buffer, 0, name.size() + 1);
    std::memcpy(buffer, name.data(), name.size());
    return buffer;
}

// Which field of a found entry a name function hands back.
enum class Field { Name, FirstAlias };

char* copy_field(bool found, const plat::NameEntry& e, Field field, char* buffer, int size) {
    if (!found) return nullptr;
    if (field == Field::Name) return copy_name(e.name, buffer, size);
    return e.has_alias ? copy_name(e.first_alias, buffer, size) : nullptr;
}

char* dotted(uint32_t address, char* slot) {
    return addr_to_text(AF_INET, &address, slot, HOSTADDR_SIZE);
}

} // namespace

int service_to_port(const char* protocol, const char* service) {
    if (!started() || service == nullptr) return -1;
    plat::NameEntry e;
    if (plat::service_by_name(service, protocol, &e)) return e.number;
    return number_or_fail(service, 65535);
}

int protocol_to_number(const char* protocol) {
    if (!started() || protocol == nullptr) return -1;
    plat::NameEntry e;
    if (plat::protocol_by_name(protocol, &e)) return e.number;
    return number_or_fail(protocol, 255);
}

char* port_to_service(const char* protocol, int port, char* buffer, int size) {
    if (!started()) return nullptr;
    plat::NameEntry e;
    if (plat::service_by_port(port, protocol, &e)) return copy_name(e.name, buffer, size);
    if (buffer == nullptr || size <= 0) return nullptr;
    std::snprintf(buffer, static_cast<size_t>(size < 6 ? size : 6), "%d", port);
    return buffer;
}

char* service_alias_by_name(const char* protocol, const char* service, char* buffer, int size) {
    if (!started() || service == nullptr) return nullptr;
    plat::NameEntry e;
    const bool found = plat::service_by_name(service, protocol, &e);
    return copy_field(found, e, Field::FirstAlias, buffer, size);
}

char* service_alias_by_port(const char* protocol, int port, char* buffer, int size) {
    if (!started()) return nullptr;
    plat::NameEntry e;
    return copy_field(plat::service_by_port(port, protocol, &e), e, Field::FirstAlias, buffer,
                      size);
}

char* number_to_protocol(int number, char* buffer, int size) {
    if (!started()) return nullptr;
    plat::NameEntry e;
    return copy_field(plat::protocol_by_number(number, &e), e, Field::Name, buffer, size);
}

char* protocol_alias_by_name(const char* protocol, char* buffer, int size) {
    if (!started() || protocol == nullptr) return nullptr;
    plat::NameEntry e;
    return copy_field(plat::protocol_by_name(protocol, &e), e, Field::FirstAlias, buffer, size);
}

char* protocol_alias_by_number(int number, char* buffer, int size) {
    if (!started()) return nullptr;
    plat::NameEntry e;
    return copy_field(plat::protocol_by_number(number, &e), e, Field::FirstAlias, buffer, size);
}

char* resolve_host(const char* host, char* buffer) {
    if (!started() || buffer == nullptr) return nullptr;
    std::memset(buffer, 0, HOSTADDR_SIZE);
    std::vector<uint32_t> addresses;
    if (host == nullptr || !plat::host_ipv4_addresses(host, &addresses) || addresses.empty())
        return nullptr;
    return dotted(addresses.front(), buffer);
}

std::string resolve_host_family(const char* host, int family) {
    std::vector<std::string> addresses;
    if (!started() || !plat::host_addresses(host, family, &addresses)) return "";
    return addresses.front();
}

char* resolve_addr(const char* address, char* buffer) {
    if (!started() || buffer == nullptr) return nullptr;
    std::memset(buffer, 0, HOSTNAME_SIZE);
    std::string name;
    if (address == nullptr || !plat::host_name_of_ipv4(plat::inet_addr(address), &name))
        return nullptr;
    // The name is kept whole up to the buffer's size, then cut; the terminator always stays.
    std::memcpy(buffer, name.data(), name.size() < HOSTNAME_SIZE ? name.size() : HOSTNAME_SIZE - 1);
    return buffer;
}

int resolve_host_all(const char* host, char (*slots)[HOSTADDR_SIZE], int count) {
    if (!started()) return SOCKERR_STARTUP;
    if (slots == nullptr || count <= 0) return 0;
    std::memset(slots, 0, static_cast<size_t>(count) * HOSTADDR_SIZE);
    std::vector<uint32_t> addresses;
    if (host == nullptr || !plat::host_ipv4_addresses(host, &addresses)) return 0;
    int written = 0;
    for (uint32_t a : addresses) {
        if (written == count) break;
        dotted(a, slots[written++]);
    }
    return written;
}
