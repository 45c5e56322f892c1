#include "util/bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

TEST(FindBytes, FirstMatchIncludingOneThatEndsTheBuffer) {
    const struct {
        const char* text;
        std::string buffer;
        int size;
        int at;
    } cases[] = {
        {"lo", "hello", 5, 3},
        {"llo", "hello", 5, 2},
        {"o", "hello", 5, 4},
        {"hello", "hello", 5, 0},
        {"l", "hello", 5, 2},
        {"hellox", "hello", 5, -1},
        {"x", "hello", 5, -1},
        {"", "hello", 5, 0},
        {"", "", 0, -1},
        {"lo", "hello", 4, -1},                // only the first `size` bytes count
        {"bc", std::string("a\0bc", 4), 4, 2}, // the buffer may hold zero bytes
        {"h", "hello", -1, -1},
    };
    for (const auto& c : cases) {
        // An exact-size heap copy lets the sanitizer catch any read past the buffer.
        auto buf = std::make_unique<char[]>(std::max<size_t>(c.buffer.size(), 1));
        std::memcpy(buf.get(), c.buffer.data(), c.buffer.size());
        EXPECT_EQ(find_bytes(c.text, buf.get(), c.size), c.at) << c.text << " in " << c.buffer;
    }
    EXPECT_EQ(find_bytes(nullptr, "abc", 3), -1);
    EXPECT_EQ(find_bytes("a", nullptr, 3), -1);
}

TEST(ReverseBytes, ReversesUpToTheLimitAndRefusesMore) {
    char abc[] = "abc";
    EXPECT_EQ(reverse_bytes(abc, 3), 0);
    EXPECT_STREQ(abc, "cba");
    EXPECT_EQ(reverse_bytes(abc, 1), 0);
    EXPECT_STREQ(abc, "cba");
    EXPECT_EQ(reverse_bytes(abc, 0), 0);
    EXPECT_EQ(reverse_bytes(nullptr, 0), 0);

    std::vector<unsigned char> full(kMaxReverseBytes);
    std::iota(full.begin(), full.end(), 0);
    std::vector<unsigned char> expected(full.rbegin(), full.rend());
    EXPECT_EQ(reverse_bytes(full.data(), kMaxReverseBytes), 0);
    EXPECT_EQ(full, expected);

    std::vector<unsigned char> over(kMaxReverseBytes + 1, 0);
    over.front() = 1;
    EXPECT_EQ(reverse_bytes(over.data(), kMaxReverseBytes + 1), -1);
    EXPECT_EQ(over.front(), 1); // left as it was
}

TEST(PointerToUint64, ZeroExtendedAddress) {
    int x = 0;
    EXPECT_EQ(pointer_to_uint64(&x), static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&x)));
    EXPECT_EQ(pointer_to_uint64(nullptr), 0u);
}

} // namespace
