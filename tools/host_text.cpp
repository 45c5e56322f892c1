#include "tools/host_text.h"

#include "address/name_services.h"
#include "tools/cli_app.h"
#include "util/ipv4_text.h"

#include <cctype>

namespace {

bool host_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
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

} // namespace

std::string host_text_problem(const std::string& text) {
    if (text.empty()) return "the host is empty";
    for (char c : text)
        if (!host_name_char(c))
            return "host " + quoted_text(text) +
                   " holds characters that no host name or address has";
    if (is_ipv4_text(text.c_str())) return "";
    // No top-level domain is a number: a text that ends in one is meant as an address.
    if (numeric_label(last_label(text)))
        return "host " + quoted_text(text) +
               " is not a dotted IPv4 address (four decimal numbers from 0 to 255)";
    return "";
}

host_address resolve_host_text(const std::string& text) {
    if (std::string why = host_text_problem(text); !why.empty()) return {"", why};
    if (is_ipv4_text(text.c_str())) return {text, ""};
    char address[HOSTADDR_SIZE];
    if (!resolve_host(text.c_str(), address))
        return {"",
                "host " + quoted_text(text) + " has no IPv4 address (the name does not resolve)"};
    return {address, ""};
}
