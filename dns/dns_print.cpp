#include "dns/dns_print.h"

#include <iterator>
#include <span>

namespace {

void put_text(const char* text, std::FILE* out) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x20 || *p > 0x7E)
            std::fprintf(out, "\\%03u", *p);
        else
            std::fputc(*p, out);
    }
}

// What a record line adds after its name, for one record type of one section.
struct TypeLine {
    uint16_t type;
    const char* words; // followed by the record's text
};

constexpr TypeLine kAnswerTypes[] = {{DNS_TYPE_A, " has IPv4 address: "},
                                     {DNS_TYPE_CNAME, " has alias name: "},
                                     {DNS_TYPE_PTR, " domain name pointer: "}};
constexpr TypeLine kAuthorityTypes[] = {{DNS_TYPE_NS, " has authoritative nameserver: "}};
constexpr TypeLine kAdditionalTypes[] = {{DNS_TYPE_A, " has IPv4 address: "}};

struct SectionLines {
    const char* heading; // " Answer: %d,"-style prefix of each line
    const dns_rr* records;
    int count;
    std::span<const TypeLine> types;
};

// Names of the response codes of RFC 1035; others are shown by number alone.
constexpr const char* kResponseCodes[] = {"no error",     "format error",    "server failure",
                                          "no such name", "not implemented", "refused"};

// What the header says beyond the counts, one line each, only when it is not the usual.
void write_header_notes(const dns_response& r, std::FILE* out) {
    if (const int rcode = r.flags & DNS_RCODE_MASK; rcode != 0) {
        std::fprintf(out, " Response code: %d", rcode);
        if (rcode < int(std::size(kResponseCodes)))
            std::fprintf(out, " (%s)", kResponseCodes[rcode]);
        std::fputs(".\n", out);
    }
    if (r.flags & DNS_FLAG_TC)
        std::fputs(" The reply is truncated (TC=1): the server left records out.\n", out);
    if (r.questions == 0)
        std::fputs(" The reply holds no question: it does not show which question it answers.\n",
                   out);
}

void write_section(const SectionLines& s, std::FILE* out) {
    for (int i = 0; i < s.count && i < DNS_MAX_RECORDS; ++i) {
        const dns_rr& rr = s.records[i];
        std::fprintf(out, " %s: %d, Name: ", s.heading, i + 1);
        put_text(rr.name, out);
        for (const TypeLine& t : s.types) {
            if (t.type != rr.type) continue;
            std::fputs(t.words, out);
            put_text(rr.text, out);
        }
        std::fputc('\n', out);
    }
}

} // namespace

void dns_write_response(const dns_response* r, std::FILE* out) {
    std::fputs("The response contains:\n", out);
    std::fprintf(out, " %d Questions.\n", r->questions);
    std::fprintf(out, " %d Answers.\n", r->answer_count);
    std::fprintf(out, " %d Authoritative Servers.\n", r->authority_count);
    std::fprintf(out, " %d Additional records.\n", r->additional_count);
    write_header_notes(*r, out);
    const SectionLines sections[] = {
        {"Answer", r->answers, r->answer_count, kAnswerTypes},
        {"Authorities", r->authorities, r->authority_count, kAuthorityTypes},
        {"Additional", r->additionals, r->additional_count, kAdditionalTypes},
    };
    for (const SectionLines& s : sections)
        write_section(s, out);
}

void dns_print_response(const dns_response* response) {
    dns_write_response(response, stdout);
}
