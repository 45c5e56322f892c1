// Checks and comparisons of dotted IPv4 texts.
#pragma once

// 1 when `text` is four decimal parts 0..255 separated by '.', each written without leading
// zeros (as inet_pton reads them); else 0 (also for null).
int is_ipv4_text(const char* text);

// 1 when `address` lies in `subnet` ("a.b.c.d/n"), else 0. Both texts may hold only digits,
// '.' and '/' and need three '.'; the subnet needs a prefix length after its fourth part.
// The parts are combined as a<<24 | b<<16 | c<<8 | d, so a part above 255 overlaps its
// neighbour; n = 0 matches every address, n >= 32 compares all bits. A prefix length on
// `address` is ignored.
int ipv4_in_subnet(const char* subnet, const char* address);
