// Pieces shared by the output lines of the client and the responder.
#pragma once

#include "platform/socket_api.h"

// Size of the time text buffer and the stamp pattern of every timed line.
inline constexpr int kTimeTextSize = 36;

// The current time as the lines print it, e.g. 2026/12/08 20:08:46.500000.
const char* time_text(char (&buffer)[kTimeTextSize]);
// The same for a wall-clock reading taken earlier (seconds since 1970).
const char* time_text_at(char (&buffer)[kTimeTextSize], double stamp);

// An IPv4 address record split for "%d.%d.%d.%d:%d" (most significant byte first, host port).
struct AddrParts {
    int a, b, c, d, port;
};
AddrParts addr_parts(const sockaddr_in& addr);
