#include "platform/socket_errors.h"

#include <cerrno>
#include <cstring>

namespace plat {
namespace {

struct Translation {
    int posix;
    int wsa;
};

// The single table between the two numberings. Runtime numbers without a socket counterpart
// (EACCES, EMFILE, ENOMEM, EPIPE, ENOENT, ...) are not listed and pass through unchanged.
constexpr Translation kTable[] = {
    {EINTR, 10004},           {EBADF, 10009},        {EFAULT, 10014},
    {EINVAL, 10022},          {EINPROGRESS, 10036},  {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},   {ENOBUFS, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},
    {ELOOP, 10062},           {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
};

constexpr int kWouldBlock = 10035;
constexpr int kTimedOut = 10060;

} // namespace

int translate_errno(int err, WouldBlockMeans again) {
    if (err == EAGAIN || err == EWOULDBLOCK)
        return again == WouldBlockMeans::TimedOut ? kTimedOut : kWouldBlock;
    for (const auto& row : kTable)
        if (row.posix == err) return row.wsa;
    return err;
}

std::string error_text(int code) {
    if (code == kWouldBlock) return std::strerror(EWOULDBLOCK);
    for (const auto& row : kTable)
        if (row.wsa == code) return std::strerror(row.posix);
    return std::strerror(code);
}

} // namespace plat
