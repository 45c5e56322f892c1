#include "platform/sink_stream.h"

#include <memory>
#include <new>

namespace plat {
namespace {

struct sink_cookie {
    sink_function sink;
    void* context;
    // stdio keeps to a size only for a buffer it is given; its own would be one page.
    std::unique_ptr<char[]> buffer;
};

ssize_t cookie_write(void* cookie, const char* data, size_t size) {
    const auto* c = static_cast<sink_cookie*>(cookie);
    return c->sink(c->context, data, size) ? static_cast<ssize_t>(size) : -1;
}

int cookie_close(void* cookie) {
    delete static_cast<sink_cookie*>(cookie);
    return 0;
}

} // namespace

std::FILE* open_sink_stream(sink_function sink, void* context, size_t buffer_size, int mode) {
    auto* cookie = new (std::nothrow) sink_cookie{sink, context, nullptr};
    if (!cookie) return nullptr;
    cookie->buffer.reset(new (std::nothrow) char[buffer_size]);
    cookie_io_functions_t io{};
    io.write = cookie_write;
    io.close = cookie_close;
    std::FILE* f = ::fopencookie(cookie, "w", io);
    if (!f) {
        delete cookie;
        return nullptr;
    }
    std::setvbuf(f, cookie->buffer.get(), mode, cookie->buffer ? buffer_size : 0);
    return f;
}

} // namespace plat
