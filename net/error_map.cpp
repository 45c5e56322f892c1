#include "net/error_map.h"

#include "platform/socket_api.h"

#include <cerrno>

namespace net_detail {

int map_error(AcceptedSet accepted, int fallback) {
    return map_code(plat::last_socket_error(), accepted, fallback);
}

int map_code(int code, AcceptedSet accepted, int fallback) {
    errno = code;
    for (const Accept& entry : accepted)
        if (entry.code == code) return entry.result;
    return fallback;
}

} // namespace net_detail
