// libFuzzer target: any bytes as the reply to a query for www.rebound.test. The decoder must
// stay within the bytes it is given and the record's fields, and the printer must find every
// text terminated within its field.
#include "dns/dns_message.h"
#include "dns/dns_print.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void check_terminated(const char* field) {
    if (strnlen(field, DNS_TEXT_SIZE) == DNS_TEXT_SIZE) std::abort();
}

void check_section(const dns_rr* records, int count) {
    if (count < 0 || count > DNS_MAX_RECORDS) std::abort();
    for (int i = 0; i < count; ++i) {
        check_terminated(records[i].name);
        check_terminated(records[i].text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > DNS_MESSAGE_SIZE) return 0;
    static dns_response response;
    static std::FILE* sink = std::fopen("/dev/null", "w");
    const int rc = dns_parse_response(data, static_cast<int>(size), "www.rebound.test", &response);
    if (rc > 0) std::abort();
    check_section(response.answers, response.answer_count);
    check_section(response.authorities, response.authority_count);
    check_section(response.additionals, response.additional_count);
    dns_write_response(&response, sink);
    return 0;
}
