// rebound_exporter's HTTP side (civetweb): "/metrics", "/" and "/-/healthy" on one address.
// Every resource it uses has a bound: a fixed number of worker threads, a fixed queue of
// accepted connections (beyond it new connections wait in the kernel's listen backlog), a
// fixed request buffer (a longer request line or header is refused without being read on) and
// a time limit on every read and write (a scraper that never reads holds a worker for that
// long, no more). The probing thread never waits for it.
#pragma once

#include "report/fleet_exposition.h"

#include <functional>
#include <string>

struct http_limits {
    int threads = 4;
    int queued_connections = 16;
    int request_bytes = 16 * 1024;
    int io_timeout_ms = 10'000;
};

class exporter_http {
  public:
    // Writes the metrics text in the format asked for into the sink.
    using metrics_source = std::function<void(exposition_format, const text_sink&)>;
    using page_source = std::function<std::string()>;

    exporter_http(metrics_source metrics, page_source page)
        : metrics_(std::move(metrics)), page_(std::move(page)) {}
    ~exporter_http();
    exporter_http(const exporter_http&) = delete;
    exporter_http& operator=(const exporter_http&) = delete;

    // Serves on "ADDRESS:PORT" (port 0: any free port); empty when serving, else why not.
    std::string start(const std::string& listen, const http_limits& limits);
    int port() const { return port_; }
    void stop();

    // The handler of every request (civetweb calls it on its worker threads).
    int serve(struct mg_connection* conn);

  private:
    metrics_source metrics_;
    page_source page_;
    struct mg_context* ctx_ = nullptr;
    int port_ = 0;
};

// "ADDRESS:PORT" split (as any HOST:PORT text), the address a dotted quad and the port
// 0..65535 (0: any free port). Returns the empty string, or why the text is refused. IPv6 is
// refused by name: Debian's civetweb is built without it.
std::string split_listen_text(const std::string& text, std::string* address, int* port);
