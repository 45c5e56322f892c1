#include "platform/sink_stream.h"

#include <new>

namespace plat {
namespace {

struct sink_cookie {
    sink_function sink;
    void* context;
};

ssize_t cookie_write(void* cookie, const char* data, size_t size) {
    const auto* c = static_cast<sink_cookie*>(cookie);
    c->sink(c->context, data, size);
    return static_cast<ssize_t>(size);
}

int cookie_close(void* cookie) {
    delete static_cast<sink_cookie*>(cookie);
    return 0;
}

} // namespace

std::FILE* open_sink_stream(sink_function sink, void* context, size_t buffer_size) {
    auto* cookie = new (std::nothrow) sink_cookie{sink, context};
    if (!cookie) return nullptr;
    cookie_io_functions_t io{};
    io.write = cookie_write;
    io.close = cookie_close;
    std::FILE* f = ::fopencookie(cookie, "w", io);
    if (!f) {
        delete cookie;
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, buffer_size);
    return f;
}

} // namespace plat
