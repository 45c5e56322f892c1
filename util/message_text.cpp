#include "util/message_text.h"

#include <cstdio>

std::string quoted_text(std::string_view text) {
    return "'" + escaped_text(text) + "'";
}

bool is_control_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

std::string escaped_text(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (is_control_char(c)) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", static_cast<unsigned char>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}
