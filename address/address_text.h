// IPv6 and local address records built from text, and addresses of any family turned into
// text and back. Text goes into caller-owned buffers; nothing here allocates what it returns.
#pragma once

#include "platform/socket_api.h"

#include <cstdint>

// Text-slot sizes: the longest IPv4 and IPv6 address texts with their terminators.
inline constexpr int ADDRTEXT_IPV4 = 16;
inline constexpr int ADDRTEXT_IPV6 = 46;

// The IPv6 record: family, port (low 16 bits of atoi of the port text, network order), flow
// information and scope 0. A null or empty host text, or exactly "::", gives the unspecified
// address; any other text is converted with text_to_addr, and a text that is not an IPv6
// address leaves the unspecified address too ("::1" is the loopback address).
sockaddr_in6 create_sockaddrin6(int family, const char* host, const char* port);

// The local record: family and path, zero padded. A path of 108 characters or more is cut to
// 108 and left unterminated, which is how the platform reads a full-length path.
sockaddr_un create_sockaddrun(int family, const char* path);

// Standard text of a raw address (4 bytes for AF_INET, 16 for AF_INET6) into buffer[size].
// Returns the buffer, or null (unsupported family, text does not fit) with the platform's
// code in errno.
char* addr_to_text(int family, const void* raw, char* buffer, int size);

// Raw address bytes of a text: 1 on success; 0 for a null text (errno 12, whatever the family)
// or a text that is not an address of the family; -1 for any other family (errno 10047).
int text_to_addr(int family, const char* text, void* raw);

// "address:port" for IPv4, "[address]:port" for IPv6, the path for local addresses; the text is
// always terminated within size bytes (a longer path is cut). Null for a family not handled, a
// socket whose address cannot be read, or no room at all.
char* sockname_to_text(int32_t sock, char* buffer, int size);
char* peername_to_text(int32_t sock, char* buffer, int size);
char* sockaddr_to_text(const sockaddr* addr, char* buffer, int size);
// The record is read as IPv4 (or as local) whatever its family field says.
char* sockaddrin_to_text(sockaddr_in addr, char* buffer, int size);
char* sockaddrun_to_text(sockaddr_un addr, char* buffer, int size);

// The reverse-lookup name of a dotted IPv4 text: 192.0.2.1 gives "1.2.0.192.in-addr.arpa"; a text
// that is not an address gives "255.255.255.255.in-addr.arpa". Returns the buffer.
char* reverse_name(const char* address, char* buffer, int size);
