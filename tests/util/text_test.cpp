#include "util/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct UnescapeCase {
    std::string in;
    std::string out;
};

TEST(UnescapeText, DecodesInPlaceAndZeroesTheRest) {
    const UnescapeCase cases[] = {
        {"a\\x41b", "aAb"},
        {"\\q", "\\q"}, // unknown escape stays
        {"a\\", "a\\"}, // trailing backslash stays
        {"\\r\\n\\t\\b\\s", "\r\n\t\b "},
        {"\\x4", "\\x4"}, // one digit before the end: not an escape
        {"\\x", "\\x"},
        {"\\x-1", "\\x-1"},
        {"\\x4g", "@"}, // a letter beyond F counts as 0
        {"\\xfF", "\xff"},
        {"\\\\n", "\\\n"},              // the second backslash is read normally
        {"\\x\xc3\xa9", "\\x\xc3\xa9"}, // high-bit bytes are neither letters nor digits
        {"plain", "plain"},
        {"", ""},
    };
    for (const auto& c : cases) {
        // Guard bytes after the terminator show that nothing past the text is touched.
        std::string buf = c.in + '\0' + "GUARD";
        const int n = unescape_text(buf.data());
        ASSERT_EQ(n, int(c.out.size())) << c.in;
        EXPECT_EQ(buf.substr(0, size_t(n)), c.out) << c.in;
        EXPECT_EQ(buf.substr(size_t(n), c.in.size() + 1 - size_t(n)),
                  std::string(c.in.size() + 1 - size_t(n), '\0'))
            << c.in;
        EXPECT_EQ(buf.substr(c.in.size() + 1), "GUARD") << c.in;
    }
}

TEST(UnescapeText, HexEscapeMayProduceZeroByte) {
    char buf[] = "\\x00ab";
    EXPECT_EQ(unescape_text(buf), 3);
    EXPECT_EQ(std::memcmp(buf, "\0ab\0\0\0", 7), 0);
    EXPECT_EQ(unescape_text(nullptr), 0);
}

TEST(TextToInt64, EveryCharacterCountsAsItsCodeMinus48) {
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {
        {"12", 12},
        {"-12", -12},
        {"+7", 7},
        {"", 0},
        {"-", 0},
        {"a", 'a' - '0'},
        {"1a", 10 + 'a' - '0'},
        {" 1", (' ' - '0') * 10 + 1},
        {"\xe9", 0xe9 - '0'}, // a high-bit byte is taken unsigned
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", INT64_MIN}, // wraps, no overflow trap
        {"1-2", (10 + '-' - '0') * 10 + 2}, // a '-' after the start is a digit of value -3
    };
    for (const auto& c : cases)
        EXPECT_EQ(text_to_int64(c.text), c.value) << c.text;
    EXPECT_EQ(text_to_int64(nullptr), 0);
}

TEST(Hex4ToInt, FourDigitsWithEveryOtherByteAsZero) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"00fF", 255}, {"12G4", 0x1204},        {"FFFF", 0xFFFF},    {"abcd", 0xABCD},
        {"0000", 0},   {"\xff\xff\xff\xff", 0}, {"1234567", 0x1234}, {"-1-1", 0x0101},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hex4_to_int(c.text), c.value) << c.text;
}

TEST(Hex4ToInt, ShortTextIsNotReadPastItsEnd) {
    // Exactly three bytes on the heap: reading a fourth would be caught by the sanitizer,
    // and a digit after the terminator would change the value.
    auto short_text = std::make_unique<char[]>(3);
    std::memcpy(short_text.get(), "12", 3);
    EXPECT_EQ(hex4_to_int(short_text.get()), 0x1200);
    const char with_tail[] = {'1', '2', '\0', '3', '4'};
    EXPECT_EQ(hex4_to_int(with_tail), 0x1200);
    EXPECT_EQ(hex4_to_int(""), 0);
}

TEST(BaseName, PartAfterLastSeparator) {
    const struct {
        const char* path;
        const char* base;
    } cases[] = {
        {"C:\\dir\\file.txt", "file.txt"},
        {"/usr/bin/reboundcli", "reboundcli"},
        {"mixed/dir\\name", "name"},
        {"plain", "plain"},
        {"dir\\", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        char out[32];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(base_name(c.path, out, sizeof out), out) << c.path;
        EXPECT_STREQ(out, c.base) << c.path;
        // Cleared over the path's length plus one, nothing beyond.
        const size_t cleared = std::strlen(c.path) + 1;
        for (size_t k = std::strlen(c.base); k < cleared; ++k)
            EXPECT_EQ(out[k], '\0') << c.path;
        EXPECT_EQ(out[cleared], 'Z') << c.path;
    }
}

TEST(BaseName, RefusesWhatDoesNotFitAndNeverWritesPastTheBuffer) {
    char out[8];
    std::memset(out, 'Z', sizeof out);
    // The buffer limit handed over is 5: "abcd" fits with its terminator, "abcde" does not.
    EXPECT_EQ(base_name("x/abcd", out, 5), out);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(base_name("x/abcde", out, 5), nullptr);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(std::string(out + 5, 3), "ZZZ");
    // A long path with a short base name is fine.
    EXPECT_STREQ(base_name("a/very/long/directory/path/x", out, 5), "x");
    EXPECT_EQ(std::string(out + 5, 3), "ZZZ");
    EXPECT_EQ(base_name(nullptr, out, 5), nullptr);
    EXPECT_EQ(base_name("x", out, 0), nullptr);
}

} // namespace
