#include "util/hexdump.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kRow = 16;
constexpr size_t kGap = 8; // the extra blank sits before this position of a row

char shown(unsigned char c) {
    return c >= 0x20 && c <= 0x7D ? static_cast<char>(c) : '.';
}

// " |", the row's own bytes as characters, a blank for each missing one, "|" and a line feed,
// so every row's text column has the same width.
void print_row_text(const unsigned char* row, size_t own) {
    std::fputs(" |", stdout);
    for (size_t k = 0; k < kRow; ++k)
        std::putchar(k < own ? shown(row[k]) : ' ');
    std::fputs("|\n", stdout);
}

} // namespace

void showbuff(const void* buffdata, int buffsize, const char* name) {
    if (buffdata == nullptr || buffsize < -1) return;
    const auto* bytes = static_cast<const unsigned char*>(buffdata);
    const size_t len =
        buffsize == -1 ? std::strlen(static_cast<const char*>(buffdata)) : size_t(buffsize);

    std::printf("%s: showbuff(buffdata,buffsize=%d,name):", name ? name : "(null)", buffsize);
    const bool with_offsets = len > kRow;
    if (with_offsets) std::putchar('\n');

    for (size_t i = 0; i < len; ++i) {
        if (i > 0 && i % kRow == 0) print_row_text(bytes + i - kRow, kRow);
        if (with_offsets && i % kRow == 0) std::printf("%08zx  ", i);
        if (i % kRow == kGap) std::putchar(' ');
        std::printf("%02x ", bytes[i]);
    }

    // The last row, full or not, is padded to the width of a full one.
    const size_t start = len == 0 ? 0 : (len - 1) / kRow * kRow;
    const size_t own = len - start;
    for (size_t k = own; k < kRow; ++k) {
        if (k == kGap) std::putchar(' ');
        std::fputs("   ", stdout);
    }
    print_row_text(bytes + start, own);
}
