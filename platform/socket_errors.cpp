#include "platform/socket_errors.h"

#include <cstring>

namespace plat {
namespace {

struct Row {
    int code;
    int posix;
    const char* name;
};

constexpr Row kRows[] = {
#define REBOUND_SOCKET_ERROR_ROW(name, posix, code) {code, posix, #name},
    REBOUND_SOCKET_ERRORS(REBOUND_SOCKET_ERROR_ROW)
#undef REBOUND_SOCKET_ERROR_ROW
};

const Row* by_code(int code) {
    for (const auto& row : kRows)
        if (row.code == code) return &row;
    return nullptr;
}

} // namespace

int translate_errno(int err, WouldBlockMeans again) {
    // EAGAIN and EWOULDBLOCK are one value on Linux; which code it is depends on the socket.
    if (err == EAGAIN || err == EWOULDBLOCK)
        return again == WouldBlockMeans::TimedOut ? WSAETIMEDOUT : WSAEWOULDBLOCK;
    for (const auto& row : kRows)
        if (row.posix == err) return row.code;
    return err;
}

std::string error_text(int code) {
    const Row* row = by_code(code);
    return std::strerror(row ? row->posix : code);
}

const char* error_name(int code) {
    const Row* row = by_code(code);
    return row ? row->name : nullptr;
}

} // namespace plat
