#include "engine/line_format.h"

#include "util/timestamp.h"

#include <cstdio>
#include <cstring>

const char* time_text(char (&buffer)[kTimeTextSize]) {
    return format_timestamp(get_timestamp(), "%Y/%m/%d %H:%M:%S", buffer, kTimeTextSize, 6);
}

AddrParts addr_parts(const sockaddr_in& addr) {
    const uint32_t host = ntohl(addr.sin_addr.s_addr);
    return {int(host >> 24 & 0xFF), int(host >> 16 & 0xFF), int(host >> 8 & 0xFF), int(host & 0xFF),
            int(ntohs(addr.sin_port))};
}

void print_address_line(const sockaddr_in& addr, const char* port_label) {
    unsigned char bytes[4];
    std::memcpy(bytes, &addr.sin_addr.s_addr, 4);
    const unsigned stored = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | unsigned(bytes[3]) << 24;
    const AddrParts p = addr_parts(addr);
    std::printf("rebound_connect(): connaddr.sin_addr.s_addr=%08X (%d.%d.%d.%d) %s=%d\n", stored,
                p.a, p.b, p.c, p.d, port_label, p.port);
}
