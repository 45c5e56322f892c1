// libFuzzer target: any bytes as the text of one of the library's text parsers. The first byte
// picks the parser, the rest is the text, handed over as a C string in a buffer of exactly its
// size, so a read past the terminator is a sanitizer report. Each result must keep its
// documented range.
#include "fuzz/fuzz_check.h"
#include "net/framing.h"
#include "util/duration.h"
#include "util/ipv4_text.h"
#include "util/text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A terminated copy of bytes, without anything readable behind it.
std::unique_ptr<char[]> c_string(const uint8_t* data, size_t size) {
    auto text = std::make_unique<char[]>(size + 1);
    if (size > 0) std::memcpy(text.get(), data, size);
    text[size] = '\0';
    return text;
}

void fuzz_unescape(const uint8_t* data, size_t size) {
    auto text = c_string(data, size);
    const size_t before = std::strlen(text.get());
    const int after = unescape_text(text.get());
    // The decoded bytes may hold zero bytes (\x00), so only the length counts; the freed tail
    // up to the old end is zeroed.
    check(after >= 0 && size_t(after) <= before);
    for (size_t i = size_t(after); i <= before; ++i)
        check(text[i] == '\0');
}

void fuzz_int64(const uint8_t* data, size_t size) {
    text_to_int64(c_string(data, size).get()); // wraps by design: no range to check
}

void fuzz_duration(const uint8_t* data, size_t size) {
    const double seconds = parse_duration(c_string(data, size).get());
    check(std::isfinite(seconds) && seconds >= 0); // absent and negative fields add nothing
}

void fuzz_hex4(const uint8_t* data, size_t size) {
    const int value = hex4_to_int(c_string(data, size).get());
    check(value >= 0 && value <= 0xFFFF);
}

void fuzz_parse_hex4(const uint8_t* data, size_t size) {
    const int value = parse_hex4(c_string(data, size).get());
    check(value >= 0 && value <= 0xFFFF);
}

// The subnet and the address, split at the first line feed.
void fuzz_subnet(const uint8_t* data, size_t size) {
    const auto* lf = static_cast<const uint8_t*>(std::memchr(data, '\n', size));
    const size_t split = lf ? size_t(lf - data) : size;
    auto subnet = c_string(data, split);
    auto address = lf ? c_string(lf + 1, size - split - 1) : c_string(data, 0);
    const int inside = ipv4_in_subnet(subnet.get(), address.get());
    check(inside == 0 || inside == 1);
}

using Parser = void (*)(const uint8_t*, size_t);
constexpr Parser kParsers[] = {fuzz_unescape, fuzz_int64,      fuzz_duration,
                               fuzz_hex4,     fuzz_parse_hex4, fuzz_subnet};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    kParsers[data[0] % std::size(kParsers)](data + 1, size - 1);
    return 0;
}
