#include "tools/host_text.h"

#include "address/name_services.h"
#include "address/net_address.h"
#include "tools/cli_app.h"
#include "util/ipv4_text.h"

#include <cctype>

namespace {

// Characters of host names, and of IPv6 literals with their zone ("[fe80::1%eth0]").
bool host_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' ||
           c == ':' || c == '[' || c == ']' || c == '%';
}

// A number as the C library's address parser takes it: decimal, octal or "0x" hexadecimal.
bool numeric_label(const std::string& label) {
    if (label.empty()) return false;
    size_t start = 0;
    bool hex = false;
    if (label.size() > 1 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X')) {
        start = 2;
        hex = true;
    }
    for (size_t k = start; k < label.size(); ++k) {
        const auto c = static_cast<unsigned char>(label[k]);
        if (!(hex ? std::isxdigit(c) : std::isdigit(c))) return false;
    }
    return true;
}

// The last label of a name, a single trailing dot (the root) aside.
std::string last_label(const std::string& text) {
    std::string t = text;
    if (!t.empty() && t.back() == '.') t.pop_back();
    const size_t dot = t.rfind('.');
    return dot == std::string::npos ? t : t.substr(dot + 1);
}

bool is_ipv6_literal(const std::string& text) {
    return looks_like_ipv6(text) || (!text.empty() && text.front() == '[');
}

int family_of(host_family f) {
    return f == host_family::ipv4 ? AF_INET : f == host_family::ipv6 ? AF_INET6 : AF_UNSPEC;
}

const char* family_name(host_family f) {
    return f == host_family::ipv4 ? "IPv4" : f == host_family::ipv6 ? "IPv6" : "IP";
}

} // namespace

std::string host_text_problem(const std::string& text) {
    if (text.empty()) return "the host is empty";
    for (char c : text)
        if (!host_name_char(c))
            return "host " + quoted_text(text) +
                   " holds characters that no host name or address has";
    if (is_ipv6_literal(text)) {
        net_address parsed;
        const std::string why = parse_address_literal(text, 0, &parsed);
        return why.empty() ? "" : "host " + why;
    }
    // A name has no brackets or zone.
    if (text.find_first_of("[]%") != std::string::npos)
        return "host " + quoted_text(text) + " holds characters that no host name has";
    if (is_ipv4_text(text.c_str())) return "";
    // No top-level domain is a number: a text that ends in one is meant as an address.
    if (numeric_label(last_label(text)))
        return "host " + quoted_text(text) +
               " is not a dotted IPv4 address (four decimal numbers from 0 to 255)";
    return "";
}

host_address resolve_host_text(const std::string& text, host_family family) {
    if (std::string why = host_text_problem(text); !why.empty()) return {"", why};
    const bool v6 = is_ipv6_literal(text);
    if (v6 || is_ipv4_text(text.c_str())) {
        if ((v6 && family == host_family::ipv4) || (!v6 && family == host_family::ipv6))
            return {"", "host " + quoted_text(text) + " is an " + (v6 ? "IPv6" : "IPv4") +
                            " address, but " + (v6 ? "-4" : "-6") + " asks for " +
                            family_name(family)};
        if (!v6) return {text, ""};
        net_address parsed;
        parse_address_literal(text, 0, &parsed);
        return {address_only_text(parsed), ""};
    }
    const std::string address = resolve_host_family(text.c_str(), family_of(family));
    if (address.empty())
        return {"", "host " + quoted_text(text) + " has no " + family_name(family) +
                        " address (the name does not resolve)"};
    return {address, ""};
}
