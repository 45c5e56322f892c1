// Replies decoded and printed: crafted replies for every bound, and replies cut short.
#include "dns/dns_message.h"
#include "tests/dns/crafted_replies.h"
#include "tests/dns/print_capture.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using dnstest::Bytes;

TEST(DnsParseResponse, CraftedRepliesDecodeAndPrintUpToTheirFirstBrokenBound) {
    auto r = std::make_unique<dns_response>();
    for (const auto& c : dnstest::crafted_replies()) {
        SCOPED_TRACE(c.what);
        const Bytes exact(c.bytes); // exactly the reply: a read past it is a sanitizer report
        EXPECT_EQ(dns_parse_response(exact.data(), static_cast<int>(exact.size()),
                                     dnstest::kQueried, r.get()),
                  c.result);
        EXPECT_EQ(dnstest::printed(*r), c.lines);
    }
}

TEST(DnsParseResponse, FieldsOfDecodedRecords) {
    auto r = std::make_unique<dns_response>();
    const Bytes reply = dnstest::alias_and_address_reply();
    ASSERT_EQ(dns_parse_response(reply.data(), static_cast<int>(reply.size()), dnstest::kQueried,
                                 r.get()),
              0);
    const dns_rr& alias = r->answers[0];
    EXPECT_EQ(alias.type, 5);
    EXPECT_EQ(alias.rclass, 1);
    EXPECT_EQ(alias.ttl, 300u);
    EXPECT_EQ(alias.length, 6); // "web" and a pointer
    EXPECT_STREQ(alias.data, "web.rebound.test");
    EXPECT_STREQ(alias.text, "web.rebound.test");
    const dns_rr& addr = r->answers[1];
    EXPECT_EQ(addr.length, 4);
    EXPECT_EQ(Bytes(addr.data, addr.data + 5), (Bytes{192, 0, 2, 80, 0}));
    EXPECT_STREQ(addr.text, "192.0.2.80");
}

TEST(DnsParseResponse, EveryCutOfAReplyIsReportedAndNeverReadPast) {
    auto r = std::make_unique<dns_response>();
    const Bytes whole = dnstest::alias_and_address_reply();
    for (size_t len = 0; len < whole.size(); ++len) {
        SCOPED_TRACE(len);
        const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(len));
        EXPECT_EQ(dns_parse_response(cut.data(), static_cast<int>(len), dnstest::kQueried, r.get()),
                  DNSERR_TRUNCATED);
        // A record is held only when all of it arrived.
        EXPECT_LE(r->answer_count, 1);
        EXPECT_EQ(r->questions, len >= 12 ? 1 : 0);
    }
}

TEST(DnsParseResponse, QueriedNameDecidesWhereTheAnswersStart) {
    auto r = std::make_unique<dns_response>();
    const Bytes reply = dnstest::alias_and_address_reply();
    const int n = static_cast<int>(reply.size());
    // A name of another length puts the answers elsewhere; the decoder still stays in bounds.
    EXPECT_NE(dns_parse_response(reply.data(), n, "rebound.test", r.get()), 0);
    EXPECT_EQ(dns_parse_response(reply.data(), n, "a..b", r.get()), DNSERR_BAD_NAME);
    EXPECT_EQ(dns_parse_response(reply.data(), n, "WWW.REBOUND.TEST.", r.get()), 0);
}

} // namespace
