#include "tests/support/capture_stdout.h"
#include "util/hexdump.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::capture_stdout;

std::string dump(const void* data, int size, const char* name) {
    return capture_stdout([&] { showbuff(data, size, name); });
}

std::string spaces(size_t n) {
    return std::string(n, ' ');
}

const std::string kRow0 = "30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  |0123456789abcdef|\n";

struct DumpCase {
    const char* what;
    std::string bytes;
    int size;
    std::string expected;
};

TEST(Showbuff, LayoutOfShortFullAndMultiRowDumps) {
    const std::string hex16 = "0123456789abcdef";
    const DumpCase cases[] = {
        {"zero-ended text stays on the header line, padded to a full row", "ABC", -1,
         "b: showbuff(buffdata,buffsize=-1,name):41 42 43 " + spaces(13 * 3 + 1) + " |ABC" +
             spaces(13) + "|\n"},
        {"exactly 16 bytes: one row without offset", hex16, 16,
         "b: showbuff(buffdata,buffsize=16,name):" + kRow0},
        {"17 bytes: offsets, second row with one byte", hex16 + "g", 17,
         "b: showbuff(buffdata,buffsize=17,name):\n00000000  " + kRow0 + "00000010  67 " +
             spaces(15 * 3 + 1) + " |g" + spaces(15) + "|\n"},
        {"32 bytes: two full rows", hex16 + hex16, 32,
         "b: showbuff(buffdata,buffsize=32,name):\n00000000  " + kRow0 + "00000010  " + kRow0},
        {"row of exactly eight bytes: the mid-row gap is padded", "01234567", 8,
         "b: showbuff(buffdata,buffsize=8,name):30 31 32 33 34 35 36 37 " + spaces(8 * 3 + 1) +
             " |01234567" + spaces(8) + "|\n"},
        {"nine bytes: the gap sits before the ninth", "012345678", 9,
         "b: showbuff(buffdata,buffsize=9,name):30 31 32 33 34 35 36 37  38 " + spaces(7 * 3) +
             " |012345678" + spaces(7) + "|\n"},
        {"empty buffer: an empty padded row", "", 0,
         "b: showbuff(buffdata,buffsize=0,name):" + spaces(16 * 3 + 1) + " |" + spaces(16) + "|\n"},
        {"size below -1 prints nothing", "ABC", -2, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dump(c.bytes.data(), c.size, "b"), c.expected) << c.what;
}

TEST(Showbuff, OnlySpaceToClosingBraceArePrintable) {
    // 0x7E ('~') and the high bytes show as '.', as do the control bytes.
    const unsigned char bytes[] = {0x1F, 0x20, 0x41, 0x7D, 0x7E, 0x7F, 0x80, 0xFF, 0x00};
    const std::string out = dump(bytes, sizeof bytes, "x");
    EXPECT_NE(out.find("1f 20 41 7d 7e 7f 80 ff  00 "), std::string::npos) << out;
    EXPECT_NE(out.find(" |. A}.....       |\n"), std::string::npos) << out;
}

TEST(Showbuff, OffsetsCountInHexAcrossManyRows) {
    const std::string bytes(300, 'z');
    const std::string out = dump(bytes.data(), int(bytes.size()), "big");
    EXPECT_NE(out.find("\n000000f0  7a"), std::string::npos);
    EXPECT_NE(out.find("\n00000120  7a 7a 7a 7a 7a 7a 7a 7a  7a 7a 7a 7a "), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 20), " |zzzzzzzzzzzz    |\n");
}

TEST(Showbuff, NullBufferPrintsNothingAndNullNameIsShown) {
    EXPECT_EQ(dump(nullptr, 5, "b"), "");
    EXPECT_EQ(dump(nullptr, -1, "b"), "");
    EXPECT_EQ(dump("A", 1, nullptr).rfind("(null): showbuff(buffdata,buffsize=1,name):41 ", 0), 0u);
}

} // namespace
