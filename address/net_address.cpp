#include "address/net_address.h"

#include "address/address_text.h"
#include "platform/interface_addresses.h"
#include "util/ipv4_text.h"
#include "util/message_text.h"

#include <cstdio>
#include <cstring>

namespace {

// The first 12 bytes of an IPv4-mapped IPv6 address.
constexpr unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

bool needs_zone(const in6_addr& a) {
    return IN6_IS_ADDR_LINKLOCAL(&a) || IN6_IS_ADDR_MC_LINKLOCAL(&a) ||
           IN6_IS_ADDR_MC_NODELOCAL(&a);
}

// A zone is an interface name or its index.
unsigned zone_index(const std::string& zone) {
    if (const unsigned named = plat::interface_index(zone.c_str())) return named;
    if (zone.empty() || zone.size() > 9 ||
        zone.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    char name[kEndpointTextSize];
    const auto index = static_cast<unsigned>(std::stoul(zone));
    return plat::interface_name(index, name, sizeof name) ? index : 0;
}

std::string parse_ipv6(std::string_view text, uint16_t port, net_address* out) {
    std::string_view body = text;
    if (body.front() == '[' || body.back() == ']') {
        if (body.size() < 2 || body.front() != '[' || body.back() != ']')
            return quoted_text(text) + " has an unmatched bracket";
        body = body.substr(1, body.size() - 2);
    }
    std::string zone;
    const size_t percent = body.find('%');
    if (percent != std::string_view::npos) {
        zone = std::string(body.substr(percent + 1));
        body = body.substr(0, percent);
    }
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    if (text_to_addr(AF_INET6, std::string(body).c_str(), &a.sin6_addr) != 1)
        return quoted_text(text) + " is not an IPv6 address";
    if (percent != std::string_view::npos) {
        if (!needs_zone(a.sin6_addr))
            return quoted_text(text) + ": only a link-local address takes a zone";
        a.sin6_scope_id = zone_index(zone);
        if (a.sin6_scope_id == 0)
            return quoted_text(text) + ": zone " + quoted_text(zone) + " names no interface";
    } else if (needs_zone(a.sin6_addr)) {
        return quoted_text(text) +
               " is link-local and needs a zone naming its interface, such as " +
               std::string(body) + "%eth0";
    }
    *out = a;
    return "";
}

} // namespace

net_address net_address::from_record(const sockaddr* record, int length) {
    net_address a;
    if (!record) return a;
    if (record->sa_family == AF_INET && length >= int(sizeof(sockaddr_in)))
        std::memcpy(&a.raw_.v4, record, sizeof(sockaddr_in));
    else if (record->sa_family == AF_INET6 && length >= int(sizeof(sockaddr_in6)))
        std::memcpy(&a.raw_.v6, record, sizeof(sockaddr_in6));
    return a;
}

uint16_t net_address::port() const {
    if (family() == AF_INET) return ntohs(raw_.v4.sin_port);
    if (family() == AF_INET6) return ntohs(raw_.v6.sin6_port);
    return 0;
}

void net_address::set_port(uint16_t port) {
    if (family() == AF_INET) raw_.v4.sin_port = htons(port);
    if (family() == AF_INET6) raw_.v6.sin6_port = htons(port);
}

int net_address::length() const {
    if (family() == AF_INET) return plat::kInetAddrLen;
    if (family() == AF_INET6) return plat::kInet6AddrLen;
    return 0;
}

bool net_address::is_unspecified() const {
    if (family() == AF_INET) return raw_.v4.sin_addr.s_addr == htonl(INADDR_ANY);
    return family() == AF_INET6 && IN6_IS_ADDR_UNSPECIFIED(&raw_.v6.sin6_addr);
}

bool net_address::is_ipv4_mapped() const {
    return family() == AF_INET6 &&
           std::memcmp(raw_.v6.sin6_addr.s6_addr, kMappedPrefix, sizeof kMappedPrefix) == 0;
}

net_address net_address::unmapped() const {
    if (!is_ipv4_mapped()) return *this;
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = raw_.v6.sin6_port;
    std::memcpy(&v4.sin_addr, raw_.v6.sin6_addr.s6_addr + sizeof kMappedPrefix, 4);
    return v4;
}

bool net_address::same_host(const net_address& other) const {
    if (family() != other.family()) return false;
    if (family() == AF_INET) return raw_.v4.sin_addr.s_addr == other.raw_.v4.sin_addr.s_addr;
    if (family() == AF_INET6)
        return std::memcmp(&raw_.v6.sin6_addr, &other.raw_.v6.sin6_addr, sizeof(in6_addr)) == 0 &&
               raw_.v6.sin6_scope_id == other.raw_.v6.sin6_scope_id;
    return true;
}

const char* endpoint_text(const net_address& a, char (&buffer)[kEndpointTextSize]) {
    buffer[0] = '\0';
    if (a.family() == AF_INET || a.family() == AF_INET6) {
        const std::string host = address_only_text(a);
        const char* format = a.is_ipv6() ? "[%s]:%u" : "%s:%u";
        std::snprintf(buffer, sizeof buffer, format, host.c_str(), unsigned(a.port()));
    }
    return buffer;
}

std::string endpoint_text(const net_address& a) {
    char buffer[kEndpointTextSize];
    return endpoint_text(a, buffer);
}

std::string address_only_text(const net_address& a) {
    char text[ADDRTEXT_IPV6] = "";
    if (a.family() == AF_INET) {
        addr_to_text(AF_INET, &a.ipv4().sin_addr, text, sizeof text);
        return text;
    }
    if (a.family() != AF_INET6) return "";
    addr_to_text(AF_INET6, &a.ipv6().sin6_addr, text, sizeof text);
    std::string out = text;
    char zone[kEndpointTextSize];
    if (const unsigned scope = a.ipv6().sin6_scope_id; scope != 0)
        out += "%" + (plat::interface_name(scope, zone, sizeof zone) ? std::string(zone)
                                                                     : std::to_string(scope));
    return out;
}

std::string endpoint_of(std::string_view host, int port) {
    const std::string p = std::to_string(port);
    if (looks_like_ipv6(host) && host.front() != '[') return "[" + std::string(host) + "]:" + p;
    return std::string(host) + ":" + p;
}

std::string split_host_port(std::string_view text, host_port_parts* out) {
    host_port_parts parts{text, std::nullopt};
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return "an IPv6 address in brackets needs its ']'";
        parts.host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') return "only ':PORT' may follow the ']'";
        if (!rest.empty()) parts.port = rest.substr(1);
    } else if (const size_t colon = text.find(':');
               colon != std::string_view::npos &&
               text.find(':', colon + 1) == std::string_view::npos) {
        parts.host = text.substr(0, colon);
        parts.port = text.substr(colon + 1);
    }
    *out = parts;
    return {};
}

bool looks_like_ipv6(std::string_view text) {
    return text.find(':') != std::string_view::npos;
}

std::string parse_address_literal(std::string_view text, uint16_t port, net_address* out) {
    if (text.empty()) return "the address is empty";
    if (looks_like_ipv6(text) || text.front() == '[') return parse_ipv6(text, port, out);
    const std::string t(text);
    if (!is_ipv4_text(t.c_str())) return quoted_text(text) + " is not an IPv4 or IPv6 address";
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    text_to_addr(AF_INET, t.c_str(), &a.sin_addr);
    *out = a;
    return "";
}
