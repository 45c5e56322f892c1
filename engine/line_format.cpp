#include "engine/line_format.h"

#include "util/timestamp.h"

const char* time_text(char (&buffer)[kTimeTextSize]) {
    return time_text_at(buffer, get_timestamp());
}

const char* time_text_at(char (&buffer)[kTimeTextSize], double stamp) {
    return format_timestamp(stamp, "%Y/%m/%d %H:%M:%S", buffer, kTimeTextSize, 6);
}

AddrParts addr_parts(const sockaddr_in& addr) {
    const uint32_t host = ntohl(addr.sin_addr.s_addr);
    return {int(host >> 24 & 0xFF), int(host >> 16 & 0xFF), int(host >> 8 & 0xFF), int(host & 0xFF),
            int(ntohs(addr.sin_port))};
}
