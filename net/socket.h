// The socket library's result convention, its failure codes, the socket service start-up and
// socket creation, generic and per family.
//
// Every operation returns a signed 32-bit result: 0 or more is success (a handle, a byte count,
// 0 or 1 as each operation states); a negative value is the negated platform error code (10xxx),
// the negated runtime error number of an accepted set, or one of the SOCKERR_ codes below. The
// platform code of a failed call is left in errno for the caller.
#pragma once

#include "platform/socket_api.h"
#include "platform/socket_errors.h"

#include <cstdint>

inline constexpr int SOCKERR_FAIL = -1001;    // no more specific code
inline constexpr int SOCKERR_BIND = -1003;    // bind failed outside its accepted set
inline constexpr int SOCKERR_LISTEN = -1004;  // listen failed outside its accepted set
inline constexpr int SOCKERR_ACCEPT = -1005;  // accept failed outside its accepted set
inline constexpr int SOCKERR_STARTUP = -1006; // the socket service did not start

// 1 when the socket service started, SOCKERR_STARTUP otherwise.
int32_t sock_startup();
// Always 1.
int32_t sock_cleanup();

// A new handle, or the mapped failure (SOCKERR_FAIL when the service does not start).
int32_t sock_create(int family, int type, int protocol);

// Family creation: local stream sockets, TCP stream sockets, UDP datagram sockets.
int32_t unix_create(int family);
int32_t tcp_create(int family); // no mapping: any failure is SOCKERR_FAIL, errno untouched
int32_t udp_create(int family);
