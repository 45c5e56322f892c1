#include "net/error_map.h"

#include "platform/socket_api.h"

#include <algorithm>
#include <cerrno>

namespace net_detail {

int map_error(AcceptedSet accepted, int fallback) {
    const int code = plat::last_socket_error();
    errno = code;
    return std::find(accepted.begin(), accepted.end(), code) != accepted.end() ? -code : fallback;
}

} // namespace net_detail
