#include "net/error_map.h"

#include "platform/socket_api.h"

#include <cerrno>

namespace net_detail {

int map_error(AcceptedSet accepted, int fallback) {
    const int code = plat::last_socket_error();
    errno = code;
    for (const Accept& entry : accepted)
        if (entry.code == code) return entry.result;
    return fallback;
}

} // namespace net_detail
