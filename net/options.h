// Socket options by the library's own option codes, with the family entry points that forward
// to them.
#pragma once

#include "net/socket.h"

#include <cstdint>

// Library option codes: fixed values, independent of the platform's option numbers.
inline constexpr int SOCKOPT_NODELAY = 1;
inline constexpr int SOCKOPT_BROADCAST = 32;
inline constexpr int SOCKOPT_REUSEADDR = 0x123;
inline constexpr int SOCKOPT_LINGER = 0x124;   // value: seconds; lingering is always switched on
inline constexpr int SOCKOPT_BLOCKING = 0x125; // switches the mode, for reads and writes alike
inline constexpr int SOCKOPT_SNDBUF = 0x1001;
inline constexpr int SOCKOPT_RCVBUF = 0x1002;
inline constexpr int SOCKOPT_ERROR = 0x1007; // read only
inline constexpr int SOCKOPT_TYPE = 0x1008;  // read only
inline constexpr int SOCKOPT_NONBLOCKING = static_cast<int>(0x8004667Eu);
// Datagram options of the measurement and the responder; a value of 1 switches them on.
inline constexpr int SOCKOPT_REUSEPORT = 0x2001;   // sockets bound to one port share its datagrams
inline constexpr int SOCKOPT_PKTINFO = 0x2002;     // each datagram tells the address it was sent to
inline constexpr int SOCKOPT_TIMESTAMPNS = 0x2003; // each datagram carries its kernel arrival stamp
// ICMP errors of sent datagrams (port unreachable) reach an unconnected socket's receives.
inline constexpr int SOCKOPT_RECVERR = 0x2004;
// Each datagram tells how many the kernel dropped so far for a full receive buffer.
inline constexpr int SOCKOPT_RXQ_OVFL = 0x2005;
// The IPv6 counterparts of PKTINFO and RECVERR, and an IPv6 socket's choice to take IPv6 alone
// (1) or IPv4 too, as IPv4-mapped addresses (0).
inline constexpr int SOCKOPT_PKTINFO6 = 0x2006;
inline constexpr int SOCKOPT_RECVERR6 = 0x2007;
inline constexpr int SOCKOPT_V6ONLY = 0x2008;
// Marking of what a socket sends: the IPv4 type-of-service byte or the IPv6 traffic class
// (value: the whole byte, DSCP << 2), the IPv4 TTL or the IPv6 unicast hop limit, and the
// path-MTU mode (value: IP_PMTUDISC_DO / IPV6_PMTUDISC_DO forbids fragmentation).
inline constexpr int SOCKOPT_TOS = 0x2010;
inline constexpr int SOCKOPT_TCLASS = 0x2011;
inline constexpr int SOCKOPT_TTL = 0x2012;
inline constexpr int SOCKOPT_HOPLIMIT = 0x2013;
inline constexpr int SOCKOPT_MTU_DISCOVER = 0x2014;
inline constexpr int SOCKOPT_MTU_DISCOVER6 = 0x2015;
// Each datagram tells the type-of-service byte (IPv4) or traffic class (IPv6) it arrived with.
inline constexpr int SOCKOPT_RECVTOS = 0x2016;
inline constexpr int SOCKOPT_RECVTCLASS = 0x2017;

// 0 on success; 1 for an option code the operation does not handle (nothing is done) and for
// the two mode codes, which switch the socket's blocking mode when read or written.
int32_t sock_getopt(int32_t sock, int option, int32_t* out);
int32_t sock_setopt(int32_t sock, int option, int32_t value);

// Creates a TCP stream socket and switches on SOCKOPT_NODELAY (whose result is ignored).
int32_t tcp_create_nodelay(int family);

// The family entry points do exactly what the core operation does.
inline constexpr auto& unix_getopt = sock_getopt;
inline constexpr auto& unix_setopt = sock_setopt;
inline constexpr auto& tcp_getopt = sock_getopt;
inline constexpr auto& tcp_setopt = sock_setopt;
inline constexpr auto& udp_getopt = sock_getopt;
inline constexpr auto& udp_setopt = sock_setopt;
