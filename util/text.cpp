#include "util/text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace {

// Value of a hexadecimal digit for every byte; 0 for everything else.
constexpr std::array<unsigned char, 256> kHexDigit = [] {
    std::array<unsigned char, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[c] = static_cast<unsigned char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        t[c] = static_cast<unsigned char>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        t[c] = static_cast<unsigned char>(c - 'a' + 10);
    return t;
}();

unsigned hex_digit(char c) {
    return kHexDigit[static_cast<unsigned char>(c)];
}

// ASCII only: the result must not depend on the locale or on the sign of char.
bool letter_or_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct Escape {
    char name;
    char value;
};
constexpr Escape kEscapes[] = {{'r', '\r'}, {'n', '\n'}, {'t', '\t'}, {'b', '\b'}, {'s', ' '}};

} // namespace

int unescape_text(char* text) {
    if (text == nullptr) return 0;
    const size_t old_len = std::strlen(text);
    size_t r = 0, w = 0;
    while (text[r] != '\0') {
        if (text[r] == '\\') {
            const char next = text[r + 1];
            // Each test stops at the first character that fails, so the zero byte that ends
            // the text is never passed.
            if (next == 'x' && letter_or_digit(text[r + 2]) && letter_or_digit(text[r + 3])) {
                text[w++] = static_cast<char>(hex_digit(text[r + 2]) << 4 | hex_digit(text[r + 3]));
                r += 4;
                continue;
            }
            const auto* e = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                         [next](const Escape& x) { return x.name == next; });
            if (e != std::end(kEscapes)) {
                text[w++] = e->value;
                r += 2;
                continue;
            }
        }
        text[w++] = text[r++];
    }
    std::memset(text + w, 0, old_len - w);
    return static_cast<int>(w);
}

int64_t text_to_int64(const char* text) {
    if (text == nullptr) return 0;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    uint64_t value = 0;
    for (; *text != '\0'; ++text)
        value = value * 10 + static_cast<uint64_t>(static_cast<unsigned char>(*text) - '0');
    return static_cast<int64_t>(negative ? 0 - value : value);
}

int hex4_value(const char* text, const Hex4Rule& rule) {
    if (text == nullptr) return 0;
    int value = 0;
    bool ended = false; // past the zero byte that ends the text, nothing more is read
    for (int k = 0; k < 4; ++k) {
        const char c = ended ? '\0' : text[k];
        if (rule.stops_at_cr && c == '\r') break;
        ended = c == '\0';
        const bool upper = c >= 'A' && c <= 'F';
        value = value * 16 + static_cast<int>(upper && !rule.upper_case_digits ? 0 : hex_digit(c));
    }
    return value;
}

int hex4_to_int(const char* digits) {
    return hex4_value(digits, kHex4AnyCase);
}

char* base_name(const char* path, char* out, int outsize) {
    if (path == nullptr || out == nullptr || outsize <= 0) return nullptr;
    const size_t len = std::strlen(path);
    const auto size = static_cast<size_t>(outsize);
    std::memset(out, 0, std::min(len + 1, size));

    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/') base = p + 1;
    const size_t n = len - static_cast<size_t>(base - path);
    if (n >= size) return nullptr;
    std::memcpy(out, base, n);
    return out;
}
