#include "engine/probe_header.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(ProbeHeader, WordsAreLittleEndianBySelector) {
    unsigned char b[16] = {};
    pkthdr_set(b, PKTHDR_SEQ, 1);
    pkthdr_set(b, PKTHDR_SENDSIZE, 100);
    pkthdr_set(b, PKTHDR_RECVSIZE, 0x01020304);
    const unsigned char expected[16] = {0, 0, 0, 0, 1, 0, 0, 0, 100, 0, 0, 0, 4, 3, 2, 1};
    EXPECT_EQ(0, std::memcmp(b, expected, 16));
    EXPECT_EQ(pkthdr_get(b, PKTHDR_WORD0), 0u);
    EXPECT_EQ(pkthdr_get(b, PKTHDR_SEQ), 1u);
    EXPECT_EQ(pkthdr_get(b, PKTHDR_RECVSIZE), 0x01020304u);
}

TEST(ProbeHeader, SizesBelowSixteenBecomeSixteenOthersStayUnsigned) {
    struct Case {
        int selector;
        uint32_t value, stored;
    };
    const Case cases[] = {
        {PKTHDR_SENDSIZE, 0, 16},
        {PKTHDR_SENDSIZE, 15, 16},
        {PKTHDR_SENDSIZE, 16, 16},
        {PKTHDR_RECVSIZE, 12, 16},
        {PKTHDR_RECVSIZE, 0xFFFFFFFF, 0xFFFFFFFF}, // -1 as unsigned is large, kept
        {PKTHDR_SEQ, 3, 3},
        {PKTHDR_WORD0, 7, 7},
    };
    for (const auto& c : cases) {
        unsigned char b[16] = {};
        pkthdr_set(b, c.selector, c.value);
        EXPECT_EQ(pkthdr_get(b, c.selector), c.stored) << c.selector << " " << c.value;
    }
}

TEST(ProbeHeader, FlagsAreAddedToWordZeroAlone) {
    unsigned char b[16];
    std::memset(b, 0xA0, sizeof b);
    pkthdr_set(b, PKTHDR_WORD0, kProbeFlagWantStamps);
    pkthdr_add_flags(b, kProbeFlagEcho);
    EXPECT_EQ(pkthdr_get(b, PKTHDR_WORD0), kProbeFlagWantStamps | kProbeFlagEcho);
    for (int k = 4; k < 16; ++k)
        EXPECT_EQ(b[k], 0xA0) << k;
}

TEST(ProbeHeader, UnknownSelectorsReadZeroAndWriteNothing) {
    unsigned char b[16];
    std::memset(b, 0xAB, sizeof b);
    for (int selector : {0, 2, 3, 4, 8, -1}) {
        pkthdr_set(b, selector, 0);
        EXPECT_EQ(pkthdr_get(b, selector), 0u);
    }
    for (unsigned char c : b)
        EXPECT_EQ(c, 0xAB);
}

} // namespace
