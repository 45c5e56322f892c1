// The query message, names in wire form and back, and address texts.
#include "dns/dns_message.h"
#include "tests/util_dns/reply_builder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using dnstest::Bytes;
using dnstest::wire;

Bytes encoded(const char* name, int size = DNS_WIRE_NAME_SIZE) {
    Bytes out(static_cast<size_t>(size) + 8, 0xEE);
    const int n = dns_encode_name(out.data(), size, name);
    if (n < 0) return {};
    EXPECT_EQ(out[static_cast<size_t>(size)], 0xEE) << "wrote past the size";
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string long_name(size_t n) {
    return dnstest::name_of_length(n);
}

TEST(DnsEncodeName, WireForms) {
    EXPECT_EQ(encoded("one.two.three"),
              (Bytes{3, 'o', 'n', 'e', 3, 't', 'w', 'o', 5, 't', 'h', 'r', 'e', 'e', 0}));
    EXPECT_EQ(encoded("localhost"), wire("localhost"));
    EXPECT_EQ(encoded("example.com."), wire("example.com")); // a complete name, not an extra label
    EXPECT_EQ(encoded(""), Bytes{0});
    EXPECT_EQ(encoded("."), Bytes{0});
    EXPECT_EQ(encoded(nullptr), Bytes{0});
    const std::string l63(63, 'x');
    EXPECT_EQ(encoded(l63.c_str()).size(), 65u);
    const std::string n1024 = long_name(1024);
    ASSERT_EQ(n1024.size(), 1024u);
    EXPECT_EQ(encoded(n1024.c_str()).size(), 1026u);
}

TEST(DnsEncodeName, RefusesWhatCannotBeSentFaithfully) {
    const std::string l64(64, 'x'), l300(300, 'x'), n1025 = long_name(1025);
    const char* bad[] = {"a..b", ".a", "a..", "..", l64.c_str(), l300.c_str(), n1025.c_str()};
    for (const char* name : bad) {
        uint8_t out[DNS_WIRE_NAME_SIZE];
        EXPECT_EQ(dns_encode_name(out, sizeof out, name), DNSERR_BAD_NAME) << name;
    }
    uint8_t small[8];
    EXPECT_EQ(dns_encode_name(small, 8, "abcdef.g"), DNSERR_BAD_NAME); // needs 10 bytes
    EXPECT_EQ(dns_encode_name(small, 8, "abc.def"), DNSERR_BAD_NAME);  // needs 9
    EXPECT_EQ(dns_encode_name(small, 8, "abc.de"), 8);
}

TEST(DnsBuildQuery, HeaderNameTypeAndClass) {
    Bytes buf(512, 0xEE);
    const int len =
        dns_build_query(1, 1, "one.two.three", buf.data(), static_cast<int>(buf.size()));
    ASSERT_EQ(len, 31); // 12 header bytes, 15 name bytes, type and class
    // Bytes 0 and 1 are the random identifier.
    const Bytes header{0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(buf.begin() + 2, buf.begin() + 12), header);
    EXPECT_EQ(Bytes(buf.begin() + 12, buf.begin() + 27), wire("one.two.three"));
    EXPECT_EQ(Bytes(buf.begin() + 27, buf.begin() + 31), (Bytes{0, 1, 0, 1}));
    for (size_t i = 31; i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0) << "not cleared at " << i;

    ASSERT_EQ(dns_build_query(12, 3, "", buf.data(), 512), 17); // the root: 17 + 0
    EXPECT_EQ(Bytes(buf.begin() + 12, buf.begin() + 17), (Bytes{0, 0, 12, 0, 3}));
    ASSERT_EQ(dns_build_query(0xABCD, 255, "a", buf.data(), 512), 19);
    EXPECT_EQ(Bytes(buf.begin() + 15, buf.begin() + 19), (Bytes{0xAB, 0xCD, 0, 255}));
}

TEST(DnsBuildQuery, IdentifierIsRandom) {
    // Sixteen queries with one identifier would be a chance of 2^-240; a fixed identifier
    // (such as the process's) gives it every time.
    std::set<int> ids;
    for (int i = 0; i < 16; ++i) {
        uint8_t buf[64];
        ASSERT_EQ(dns_build_query(1, 1, "a", buf, sizeof buf), 19);
        ids.insert(buf[0] << 8 | buf[1]);
    }
    EXPECT_GT(ids.size(), 1u);
}

TEST(DnsIsReplyTo, OnlyTheAnswerToThisQuery) {
    Bytes query(64);
    const int qlen = dns_build_query(1, 1, "www.Rebound.test", query.data(), 64);
    ASSERT_EQ(qlen, 34);
    query.resize(static_cast<size_t>(qlen));
    // The reply a server sends: the query's header and question, QR set, one answer behind.
    auto reply = [&] {
        Bytes r = query;
        r[2] |= 0x80;
        r[3] = 0x80;
        r[7] = 1;
        const Bytes answer = dnstest::Reply{}.record(dnstest::pointer(12), 1, {1, 2, 3, 4}).bytes;
        r.insert(r.end(), answer.begin(), answer.end());
        return r;
    };
    auto changed = [&](auto change) {
        Bytes r = reply();
        change(r);
        return r;
    };
    const struct {
        const char* what;
        Bytes bytes;
        bool is_reply;
    } cases[] = {
        {"the reply", reply(), true},
        {"the name in another case", changed([](Bytes& r) { r[13] = 'W', r[17] = 'r'; }), true},
        {"no question, refused",
         changed([](Bytes& r) { r[5] = 0, r[7] = 0, r[3] = 0x85, r.resize(12); }), true},
        {"another identifier", changed([](Bytes& r) { r[1] ^= 1; }), false},
        {"not a response (QR 0)", changed([](Bytes& r) { r[2] &= 0x7F; }), false},
        {"another name", changed([](Bytes& r) { r[14] = 'v'; }), false},
        {"another type", changed([](Bytes& r) { r[31] = 28; }), false},
        {"another class", changed([](Bytes& r) { r[33] = 3; }), false},
        {"two questions", changed([](Bytes& r) { r[5] = 2; }), false},
        {"question cut short", changed([](Bytes& r) { r.resize(33); }), false},
        {"header cut short", changed([](Bytes& r) { r.resize(11); }), false},
    };
    for (const auto& c : cases) {
        const Bytes exact(c.bytes); // sized to the reply: reading past it is a sanitizer report
        EXPECT_EQ(dns_is_reply_to(query.data(), qlen, exact.data(), int(exact.size())), c.is_reply)
            << c.what;
    }
    // Case counts only in the name: types 65 ('A') and 97 ('a') are different questions.
    uint8_t q65[64];
    const int n65 = dns_build_query(65, 1, "a", q65, sizeof q65);
    Bytes r97(q65, q65 + n65);
    r97[2] |= 0x80;
    r97[static_cast<size_t>(n65) - 3] = 97;
    EXPECT_FALSE(dns_is_reply_to(q65, n65, r97.data(), n65));
}

TEST(DnsBuildQuery, RefusesBadNamesAndSmallBuffers) {
    uint8_t buf[64];
    EXPECT_EQ(dns_build_query(1, 1, "a..b", buf, sizeof buf), DNSERR_BAD_NAME);
    EXPECT_EQ(dns_build_query(1, 1, "one.two.three", buf, 30), DNSERR_BAD_NAME);
    EXPECT_EQ(dns_build_query(1, 1, "one.two.three", buf, 31), 31);
    EXPECT_EQ(dns_build_query(1, 1, "x", buf, 11), DNSERR_BAD_NAME);
}

// ---- decoding names ----

// A message whose question name is one.two.three at offset 12, followed by `tail`.
Bytes message_with(const Bytes& tail) {
    Bytes m = dnstest::Reply::answering("one.two.three", 1).bytes;
    m.insert(m.end(), tail.begin(), tail.end());
    return m;
}
constexpr int kTail = 31; // where message_with's tail starts

struct DecodeCase {
    const char* what;
    Bytes tail;
    int offset;
    int result;
    const char* text;
    int consumed;
};

TEST(DnsDecodeName, PointersLabelsAndBounds) {
    using dnstest::labels_then_pointer;
    using dnstest::pointer;
    Bytes label100{100};
    label100.insert(label100.end(), 100, 'q');
    label100.push_back(0);
    const DecodeCase cases[] = {
        {"the question itself", {}, 12, 0, "one.two.three", 15},
        {"pointer to the question", pointer(12), kTail, 0, "one.two.three", 2},
        {"labels then a pointer", labels_then_pointer("www", 12), kTail, 0, "www.one.two.three", 6},
        {"pointer into the name", pointer(16), kTail, 0, "two.three", 2},
        {"pointer to a pointer", Bytes{0xC0, 12, 0xC0, kTail}, kTail + 2, 0, "one.two.three", 2},
        {"root", Bytes{0}, kTail, 0, "", 1},
        {"length byte 100 is a length", label100, kTail, 0, nullptr, 102},
        {"pointer to itself", pointer(kTail), kTail, DNSERR_POINTER_LOOP, "", 0},
        {"two pointers in a ring", Bytes{0xC0, kTail + 2, 0xC0, kTail}, kTail, DNSERR_POINTER_LOOP,
         "", 0},
        {"a label and a pointer back to it", labels_then_pointer("a", kTail), kTail,
         DNSERR_POINTER_LOOP, "", 0},
        {"pointer past the end", pointer(4000), kTail, DNSERR_TRUNCATED, "", 0},
        {"pointer cut in half", Bytes{0xC0}, kTail, DNSERR_TRUNCATED, "", 0},
        {"label longer than the rest", Bytes{5, 'a', 'b'}, kTail, DNSERR_TRUNCATED, "", 0},
        {"no final zero", Bytes{2, 'a', 'b'}, kTail, DNSERR_TRUNCATED, "", 0},
        {"offset past the end", {}, 500, DNSERR_TRUNCATED, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes m = message_with(c.tail);
        const Bytes exact(m); // sized to the message: reading past it is caught by the sanitizer
        char out[DNS_TEXT_SIZE];
        int consumed = -1;
        const int rc =
            dns_decode_name(exact.data(), static_cast<int>(exact.size()), c.offset, &consumed, out);
        EXPECT_EQ(rc, c.result);
        if (rc != 0) continue;
        if (c.text)
            EXPECT_STREQ(out, c.text);
        else
            EXPECT_EQ(std::string(out), std::string(100, 'q'));
        EXPECT_EQ(consumed, c.consumed);
    }
}

TEST(DnsDecodeName, NamesUpTo1024Characters) {
    for (size_t n : {1023u, 1024u, 1025u, 2000u}) {
        SCOPED_TRACE(n);
        const std::string name = long_name(n);
        const Bytes m = message_with(wire(name));
        char out[DNS_TEXT_SIZE];
        int consumed = 0;
        const int rc = dns_decode_name(m.data(), static_cast<int>(m.size()), kTail, &consumed, out);
        if (n <= 1024) {
            ASSERT_EQ(rc, 0);
            EXPECT_EQ(std::string(out), name);
        } else {
            EXPECT_EQ(rc, DNSERR_NAME_TOO_LONG);
        }
    }
    // Pointers let a short message spell a long name: the bound holds for them too.
    Bytes chain = wire(long_name(600));
    const Bytes second = dnstest::labels_then_pointer(long_name(500), kTail);
    Bytes m = message_with(chain);
    const int second_at = static_cast<int>(m.size());
    m.insert(m.end(), second.begin(), second.end());
    char out[DNS_TEXT_SIZE];
    int consumed = 0;
    EXPECT_EQ(dns_decode_name(m.data(), static_cast<int>(m.size()), second_at, &consumed, out),
              DNSERR_NAME_TOO_LONG);
}

TEST(DnsLabelsToText, TerminatedAndOpenSequences) {
    const Bytes three = wire("one.two.three");
    char out[64];
    EXPECT_EQ(dns_labels_to_text(three.data(), static_cast<int>(three.size()), out, sizeof out), 0);
    EXPECT_STREQ(out, "one.two.three");
    EXPECT_EQ(dns_labels_to_text(three.data(), 8, out, sizeof out), 1); // "3one3two"
    EXPECT_STREQ(out, "one.two.");
    const Bytes cut{5, 'a', 'b'};
    EXPECT_EQ(dns_labels_to_text(cut.data(), 3, out, sizeof out), 1);
    EXPECT_STREQ(out, "ab.");
    const Bytes root{0};
    EXPECT_EQ(dns_labels_to_text(root.data(), 1, out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    char small[6];
    dns_labels_to_text(three.data(), static_cast<int>(three.size()), small, sizeof small);
    EXPECT_STREQ(small, "one.t");
}

TEST(DnsAddrText, FirstFourBytesCutToCountTimesFour) {
    const uint8_t raw[] = {192, 0, 2, 1, 9, 9, 9, 9};
    char out[DNS_TEXT_SIZE];
    EXPECT_STREQ(dns_addr_text(raw, 4, out, sizeof out), "192.0.2.1");
    EXPECT_STREQ(dns_addr_text(raw, 8, out, sizeof out), "192.0.2.1");
    EXPECT_STREQ(dns_addr_text(raw, 2, out, sizeof out), "192.0.0"); // "192.0.0.0" cut to 8 bytes
    EXPECT_STREQ(dns_addr_text(raw, 0, out, sizeof out), "");
    const uint8_t max[] = {255, 255, 255, 255};
    EXPECT_STREQ(dns_addr_text(max, 4, out, sizeof out), "255.255.255.255"); // 16 bytes fit
    char small[8];
    EXPECT_STREQ(dns_addr_text(raw, 4, small, sizeof small), "192.0.2");
}

TEST(DnsErrorText, EveryCodeHasItsOwnText) {
    const int codes[] = {DNSERR_BAD_NAME,      DNSERR_TRUNCATED,    DNSERR_TOO_MANY_RECORDS,
                         DNSERR_NAME_TOO_LONG, DNSERR_POINTER_LOOP, DNSERR_DATA_TOO_LONG};
    for (int a : codes)
        for (int b : codes)
            if (a != b) {
                EXPECT_STRNE(dns_error_text(a), dns_error_text(b));
            }
    EXPECT_STREQ(dns_error_text(-1), "unknown DNS error");
}

} // namespace
