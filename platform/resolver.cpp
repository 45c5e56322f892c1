#include "platform/resolver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <unistd.h>

namespace plat {
namespace {

// Runs one of the C library's re-entrant look-ups (the *_r calls), giving it more scratch room
// while it reports that the entry does not fit. `call` is (entry*, buffer, size, result**) ->
// error number; true when an entry was found.
template <typename Entry, typename Call>
bool reentrant_lookup(Call call, Entry* entry, std::vector<char>* scratch) {
    constexpr size_t kLargest = size_t{1} << 22; // an entry larger than 4 MiB is not believed
    scratch->resize(1024);
    for (;;) {
        Entry* result = nullptr;
        const int rc = call(entry, scratch->data(), scratch->size(), &result);
        if (rc == ERANGE && scratch->size() < kLargest) {
            scratch->resize(scratch->size() * 2);
            continue;
        }
        return rc == 0 && result != nullptr;
    }
}

void fill(NameEntry* out, const char* name, char** aliases, int number) {
    out->name = name ? name : "";
    out->has_alias = aliases && aliases[0];
    out->first_alias = out->has_alias ? aliases[0] : "";
    out->number = number;
}

bool from_service(bool found, const servent& e, NameEntry* out) {
    if (found) fill(out, e.s_name, e.s_aliases, ntohs(static_cast<uint16_t>(e.s_port)));
    return found;
}

bool from_protocol(bool found, const protoent& e, NameEntry* out) {
    if (found) fill(out, e.p_name, e.p_aliases, e.p_proto);
    return found;
}

} // namespace

int address_to_text(int family, const void* raw, char* out, int size) {
    if (size <= 0) {
        errno = ENOSPC;
        return -1;
    }
    return ::inet_ntop(family, raw, out, static_cast<socklen_t>(size)) ? 0 : -1;
}

int text_to_address(int family, const char* text, void* raw) {
    return ::inet_pton(family, text, raw);
}

bool service_by_name(const char* service, const char* protocol, NameEntry* out) {
    servent e{};
    std::vector<char> scratch;
    const bool found = reentrant_lookup(
        [&](servent* entry, char* buf, size_t size, servent** result) {
            return ::getservbyname_r(service, protocol, entry, buf, size, result);
        },
        &e, &scratch);
    return from_service(found, e, out);
}

bool service_by_port(int port, const char* protocol, NameEntry* out) {
    servent e{};
    std::vector<char> scratch;
    const int net_port = htons(static_cast<uint16_t>(port));
    const bool found = reentrant_lookup(
        [&](servent* entry, char* buf, size_t size, servent** result) {
            return ::getservbyport_r(net_port, protocol, entry, buf, size, result);
        },
        &e, &scratch);
    return from_service(found, e, out);
}

bool protocol_by_name(const char* protocol, NameEntry* out) {
    protoent e{};
    std::vector<char> scratch;
    const bool found = reentrant_lookup(
        [&](protoent* entry, char* buf, size_t size, protoent** result) {
            return ::getprotobyname_r(protocol, entry, buf, size, result);
        },
        &e, &scratch);
    return from_protocol(found, e, out);
}

bool protocol_by_number(int number, NameEntry* out) {
    protoent e{};
    std::vector<char> scratch;
    const bool found = reentrant_lookup(
        [&](protoent* entry, char* buf, size_t size, protoent** result) {
            return ::getprotobynumber_r(number, entry, buf, size, result);
        },
        &e, &scratch);
    return from_protocol(found, e, out);
}

bool host_ipv4_addresses(const char* host, std::vector<uint32_t>* out) {
    hostent e{};
    std::vector<char> scratch;
    int herr = 0;
    const bool found = reentrant_lookup(
        [&](hostent* entry, char* buf, size_t size, hostent** result) {
            return ::gethostbyname2_r(host, AF_INET, entry, buf, size, result, &herr);
        },
        &e, &scratch);
    out->clear();
    if (!found || e.h_addrtype != AF_INET || e.h_length != 4) return false;
    for (char** a = e.h_addr_list; a && *a; ++a) {
        uint32_t address;
        std::memcpy(&address, *a, 4);
        out->push_back(address);
    }
    return true;
}

bool host_addresses(const char* host, int family, std::vector<std::string>* out) {
    out->clear();
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM; // one entry per address, not one per socket type
    addrinfo* list = nullptr;
    if (!host || ::getaddrinfo(host, nullptr, &hints, &list) != 0) return false;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) == 0)
            out->push_back(text);
    }
    ::freeaddrinfo(list);
    return !out->empty();
}

bool host_name_of_ipv4(uint32_t address, std::string* out) {
    hostent e{};
    std::vector<char> scratch;
    int herr = 0;
    const bool found = reentrant_lookup(
        [&](hostent* entry, char* buf, size_t size, hostent** result) {
            return ::gethostbyaddr_r(&address, 4, AF_INET, entry, buf, size, result, &herr);
        },
        &e, &scratch);
    if (!found || e.h_name == nullptr) return false;
    *out = e.h_name;
    return true;
}

int process_id() {
    return static_cast<int>(::getpid());
}

} // namespace plat
