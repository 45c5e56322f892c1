// The socket error codes by name. One list below gives every code of the Windows Sockets
// numbering the socket library's accepted sets and results are written in: its name, the
// POSIX errno it translates from, and through that errno its text. The translation, the names
// and the texts are all generated from it.
#pragma once

#include <cerrno>
#include <string>

//      name             errno             code
#define REBOUND_SOCKET_ERRORS(X)                                                                   \
    X(WSAEINTR, EINTR, 10004)                                                                      \
    X(WSAEBADF, EBADF, 10009)                                                                      \
    X(WSAEFAULT, EFAULT, 10014)                                                                    \
    X(WSAEINVAL, EINVAL, 10022)                                                                    \
    X(WSAEWOULDBLOCK, EWOULDBLOCK, 10035)                                                          \
    X(WSAEINPROGRESS, EINPROGRESS, 10036)                                                          \
    X(WSAEALREADY, EALREADY, 10037)                                                                \
    X(WSAENOTSOCK, ENOTSOCK, 10038)                                                                \
    X(WSAEDESTADDRREQ, EDESTADDRREQ, 10039)                                                        \
    X(WSAEMSGSIZE, EMSGSIZE, 10040)                                                                \
    X(WSAEPROTOTYPE, EPROTOTYPE, 10041)                                                            \
    X(WSAENOPROTOOPT, ENOPROTOOPT, 10042)                                                          \
    X(WSAEPROTONOSUPPORT, EPROTONOSUPPORT, 10043)                                                  \
    X(WSAESOCKTNOSUPPORT, ESOCKTNOSUPPORT, 10044)                                                  \
    X(WSAEOPNOTSUPP, EOPNOTSUPP, 10045)                                                            \
    X(WSAEPFNOSUPPORT, EPFNOSUPPORT, 10046)                                                        \
    X(WSAEAFNOSUPPORT, EAFNOSUPPORT, 10047)                                                        \
    X(WSAEADDRINUSE, EADDRINUSE, 10048)                                                            \
    X(WSAEADDRNOTAVAIL, EADDRNOTAVAIL, 10049)                                                      \
    X(WSAENETDOWN, ENETDOWN, 10050)                                                                \
    X(WSAENETUNREACH, ENETUNREACH, 10051)                                                          \
    X(WSAENETRESET, ENETRESET, 10052)                                                              \
    X(WSAECONNABORTED, ECONNABORTED, 10053)                                                        \
    X(WSAECONNRESET, ECONNRESET, 10054)                                                            \
    X(WSAENOBUFS, ENOBUFS, 10055)                                                                  \
    X(WSAEISCONN, EISCONN, 10056)                                                                  \
    X(WSAENOTCONN, ENOTCONN, 10057)                                                                \
    X(WSAESHUTDOWN, ESHUTDOWN, 10058)                                                              \
    X(WSAETOOMANYREFS, ETOOMANYREFS, 10059)                                                        \
    X(WSAETIMEDOUT, ETIMEDOUT, 10060)                                                              \
    X(WSAECONNREFUSED, ECONNREFUSED, 10061)                                                        \
    X(WSAELOOP, ELOOP, 10062)                                                                      \
    X(WSAEHOSTDOWN, EHOSTDOWN, 10064)                                                              \
    X(WSAEHOSTUNREACH, EHOSTUNREACH, 10065)

// The codes as named constants: accepted sets and results read WSAETIMEDOUT, not 10060.
enum socket_error : int {
#define REBOUND_SOCKET_ERROR_NAME(name, posix, code) name = code,
    REBOUND_SOCKET_ERRORS(REBOUND_SOCKET_ERROR_NAME)
#undef REBOUND_SOCKET_ERROR_NAME
};

namespace plat {

// How an EAGAIN/EWOULDBLOCK is to be read: on a non-blocking socket it means "would block"
// (WSAEWOULDBLOCK); on a blocking socket it can only be an expired SO_RCVTIMEO/SO_SNDTIMEO
// (WSAETIMEDOUT).
enum class WouldBlockMeans { WouldBlock, TimedOut };

// The code for a socket errno where one exists; every other errno (EACCES, EMFILE, ENOMEM,
// EPIPE, ENOENT, ...) is kept as it is.
int translate_errno(int err, WouldBlockMeans again = WouldBlockMeans::WouldBlock);

// A readable text for a code in either numbering (socket codes and runtime errno values).
std::string error_text(int code);

// The name of a socket code ("WSAETIMEDOUT"), or null for any other value.
const char* error_name(int code);

} // namespace plat
