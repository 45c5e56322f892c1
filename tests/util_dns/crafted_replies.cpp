#include "tests/util_dns/crafted_replies.h"

#include "dns/dns_message.h"

namespace dnstest {
namespace {

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kAddr{192, 0, 2, 80};
constexpr int kQuestion = 12; // offset of the echoed question name

} // namespace

Lines counts(int q, int an, int ns, int ar) {
    return {"The response contains:", " " + std::to_string(q) + " Questions.",
            " " + std::to_string(an) + " Answers.",
            " " + std::to_string(ns) + " Authoritative Servers.",
            " " + std::to_string(ar) + " Additional records."};
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes alias_and_address_reply() {
    Reply r = Reply::answering(kQueried, 2);
    const int cname_data = r.size() + 2 + 10; // after the owner pointer and the fixed bytes
    r.record(pointer(kQuestion), 5, labels_then_pointer("web", kQuestion + 4));
    r.record(pointer(cname_data), 1, kAddr);
    return r.bytes;
}

std::vector<CraftedReply> crafted_replies() {
    std::vector<CraftedReply> out;

    out.push_back({"alias and address", alias_and_address_reply(), 0,
                   counts(1, 2, 0, 0) +
                       Lines{" Answer: 1, Name: www.rebound.test has alias name: web.rebound.test",
                             " Answer: 2, Name: web.rebound.test has IPv4 address: 192.0.2.80"}});

    { // An SOA authority (its data is more than a name) before an NS record: the stated
        // length, not the decoded name, leads to the next record.
        Reply r = Reply::answering(kQueried, 0, 2, 1);
        const Bytes soa =
            concat(concat(wire("ns1.rebound.test"), wire("admin.rebound.test")), Bytes(20, 7));
        r.record(pointer(kQuestion + 4), 6, soa);
        const int ns_data = r.size() + 2 + 10;
        r.record(pointer(kQuestion + 4), 2, labels_then_pointer("ns2", kQuestion + 4));
        r.record(pointer(ns_data), 1, Bytes{192, 0, 2, 53});
        out.push_back(
            {"authority of type 6, then a name server and its address", r.bytes, 0,
             counts(1, 0, 2, 1) +
                 Lines{" Authorities: 1, Name: rebound.test",
                       " Authorities: 2, Name: rebound.test has authoritative nameserver: "
                       "ns2.rebound.test",
                       " Additional: 1, Name: ns2.rebound.test has IPv4 address: 192.0.2.53"}});
    }
    { // Data that is no name (an IPv6 address, a text whose first byte reads as a pointer) is
        // shown as nothing and does not spoil the reply.
        Reply r = Reply::answering(kQueried, 3);
        r.record(pointer(kQuestion), 28,
                 Bytes{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
        r.record(pointer(kQuestion), 16, concat(Bytes{200}, Bytes(200, 't')));
        r.record(pointer(kQuestion), 1, kAddr);
        out.push_back(
            {"other types before an address", r.bytes, 0,
             counts(1, 3, 0, 0) +
                 Lines{" Answer: 1, Name: www.rebound.test", " Answer: 2, Name: www.rebound.test",
                       " Answer: 3, Name: www.rebound.test has IPv4 address: 192.0.2.80"}});
    }
    {
        Reply r = Reply::answering(kQueried, 0);
        r.bytes[3] = 0x83; // name error
        out.push_back({"no answers and an error code", r.bytes, 0,
                       counts(1, 0, 0, 0) + Lines{" Response code: 3 (no such name)."}});
    }
    { // Truncated: the server left records out, those that came are whole.
        Reply r = Reply::answering(kQueried, 1);
        r.bytes[2] |= 0x02;
        r.record(pointer(kQuestion), 1, kAddr);
        out.push_back(
            {"truncated reply", r.bytes, 0,
             counts(1, 1, 0, 0) +
                 Lines{" The reply is truncated (TC=1): the server left records out.",
                       " Answer: 1, Name: www.rebound.test has IPv4 address: 192.0.2.80"}});
    }
    { // A refusal without the question: nothing to skip, nothing cut short.
        Reply r = Reply::header(0, 0, 0, 0);
        r.bytes[3] = 0x85;
        out.push_back(
            {"refused without a question", r.bytes, 0,
             counts(0, 0, 0, 0) + Lines{" Response code: 5 (refused).",
                                        " The reply holds no question: it does not show which "
                                        "question it answers."}});
    }
    { // An unnamed response code, with an answer straight after the header.
        Reply r = Reply::header(0, 1, 0, 0);
        r.bytes[3] = 0x8B;
        r.record(wire("any.rebound.test"), 1, kAddr);
        out.push_back(
            {"no question, an answer and response code 11", r.bytes, 0,
             counts(0, 1, 0, 0) +
                 Lines{" Response code: 11.",
                       " The reply holds no question: it does not show which "
                       "question it answers.",
                       " Answer: 1, Name: any.rebound.test has IPv4 address: 192.0.2.80"}});
    }
    {
        Reply r = Reply::answering(kQueried, 26);
        Lines lines = counts(1, 25, 0, 0);
        for (int i = 1; i <= 26; ++i) {
            r.record(pointer(kQuestion), 1, Bytes{10, 0, 0, static_cast<uint8_t>(i)});
            if (i <= 25)
                lines.push_back(" Answer: " + std::to_string(i) +
                                ", Name: www.rebound.test has IPv4 address: 10.0.0." +
                                std::to_string(i));
        }
        out.push_back({"26 answers", r.bytes, DNSERR_TOO_MANY_RECORDS, lines});
    }
    {
        Reply r = Reply::answering(kQueried, 1, 30);
        r.record(pointer(kQuestion), 1, kAddr);
        Lines lines = counts(1, 1, 25, 0) +
                      Lines{" Answer: 1, Name: www.rebound.test has IPv4 address: 192.0.2.80"};
        for (int i = 1; i <= 30; ++i) {
            r.record(pointer(kQuestion + 4), 2,
                     labels_then_pointer("ns" + std::to_string(i), kQuestion + 4));
            if (i <= 25)
                lines.push_back(" Authorities: " + std::to_string(i) +
                                ", Name: rebound.test has authoritative nameserver: ns" +
                                std::to_string(i) + ".rebound.test");
        }
        out.push_back({"30 authority records", r.bytes, DNSERR_TOO_MANY_RECORDS, lines});
    }
    {
        Reply r = Reply::answering(kQueried, 2);
        r.record(pointer(kQuestion), 1, kAddr);
        const int loop_at = r.size();
        r.record(pointer(loop_at), 1, kAddr); // the second owner name points at itself
        out.push_back({"pointer loop in the second answer", r.bytes, DNSERR_POINTER_LOOP,
                       counts(1, 1, 0, 0) + Lines{" Answer: 1, Name: www.rebound.test has IPv4 "
                                                  "address: 192.0.2.80"}});
    }
    {
        const std::string n1024 = name_of_length(1024);
        Reply r = Reply::answering(kQueried, 2);
        r.record(wire(n1024), 1, kAddr);
        r.record(pointer(kQuestion), 5, wire(name_of_length(1025)));
        out.push_back({"names of 1024 and 1025 characters", r.bytes, DNSERR_NAME_TOO_LONG,
                       counts(1, 1, 0, 0) +
                           Lines{" Answer: 1, Name: " + n1024 + " has IPv4 address: 192.0.2.80"}});
    }
    {
        Reply r = Reply::answering(kQueried, 2);
        r.record(pointer(kQuestion), 1, concat(kAddr, Bytes(1020, 1))); // 1024: fits the field
        r.record(pointer(kQuestion), 1, concat(kAddr, Bytes(1021, 1))); // 1025: does not
        out.push_back({"address data longer than the field", r.bytes, DNSERR_DATA_TOO_LONG,
                       counts(1, 1, 0, 0) + Lines{" Answer: 1, Name: www.rebound.test has IPv4 "
                                                  "address: 192.0.2.80"}});
    }
    {
        Reply r = Reply::answering(kQueried, 1);
        r.record_stating(pointer(kQuestion), 5, 40, wire("short.rebound.test"));
        out.push_back(
            {"stated data length past the end", r.bytes, DNSERR_TRUNCATED, counts(1, 0, 0, 0)});
    }
    {
        Reply r = Reply::answering(kQueried, 1);
        r.record(wire("esc\x1b[2J.rebound.test"), 5, wire("tab\there.rebound.test"));
        out.push_back({"control characters in names", r.bytes, 0,
                       counts(1, 1, 0, 0) + Lines{" Answer: 1, Name: esc\\027[2J.rebound.test "
                                                  "has alias name: tab\\009here.rebound.test"}});
    }
    return out;
}

} // namespace dnstest
