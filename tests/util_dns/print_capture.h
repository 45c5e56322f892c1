// The lines dns_write_response writes for a decoded reply.
#pragma once

#include "dns/dns_print.h"
#include "tests/support/child_process.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace dnstest {

inline std::vector<std::string> printed(const dns_response& r) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    dns_write_response(&r, f);
    std::fclose(f);
    const std::string s(text, size);
    std::free(text);
    return testsupport::split_lines(s);
}

} // namespace dnstest
