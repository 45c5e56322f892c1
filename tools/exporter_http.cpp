#include "tools/exporter_http.h"

#include "address/net_address.h"
#include "tools/cli_app.h"
#include "tools/cli_args.h"

#include <civetweb.h>

#include <cstring>

namespace {

constexpr int kHttpOk = 200;
constexpr int kHttpNotFound = 404;
constexpr int kHttpBadMethod = 405;
constexpr size_t kErrorTextSize = 256;

int handle(struct mg_connection* conn, void* self) {
    return static_cast<exporter_http*>(self)->serve(conn);
}

// Civetweb's own messages (a refused request and the like) are not the operator's concern;
// start-up failures come back through mg_start2's error text.
int quiet_log(const struct mg_connection*, const char*) {
    return 1;
}

void send_head(struct mg_connection* conn, int status, const char* type, const std::string* length) {
    mg_response_header_start(conn, status);
    mg_response_header_add(conn, "Content-Type", type, -1);
    if (length) mg_response_header_add(conn, "Content-Length", length->c_str(), -1);
    mg_response_header_add(conn, "Cache-Control", "no-store", -1);
    mg_response_header_send(conn);
}

void respond(struct mg_connection* conn, int status, const char* type, const std::string& body,
             bool head) {
    const std::string length = std::to_string(body.size());
    send_head(conn, status, type, &length);
    if (!head) mg_write(conn, body.data(), body.size());
}

} // namespace

std::string split_listen_text(const std::string& text, std::string* address, int* port) {
    const std::string expected = " is not ADDRESS:PORT (dotted IPv4, 0 to 65535)";
    host_port_parts parts;
    if (!split_host_port(text, &parts).empty() || !parts.port) return quoted_text(text) + expected;
    const auto p = parse_int(*parts.port, 0, kLastPort);
    const std::string a(parts.host);
    if (looks_like_ipv6(a))
        return quoted_text(text) + ": the HTTP server (civetweb) here serves IPv4 only";
    if (!p || !is_host_address(a)) return quoted_text(text) + expected;
    *address = a;
    *port = *p;
    return {};
}

exporter_http::~exporter_http() {
    stop();
}

std::string exporter_http::start(const std::string& listen, const http_limits& limits) {
    mg_init_library(0);
    const std::string threads = std::to_string(limits.threads);
    const std::string queue = std::to_string(limits.queued_connections);
    const std::string request = std::to_string(limits.request_bytes);
    const std::string timeout = std::to_string(limits.io_timeout_ms);
    const char* options[] = {"listening_ports", listen.c_str(),
                             "num_threads", threads.c_str(),
                             "connection_queue", queue.c_str(),
                             "listen_backlog", queue.c_str(),
                             "max_request_size", request.c_str(),
                             "request_timeout_ms", timeout.c_str(),
                             "enable_keep_alive", "no",
                             nullptr};
    mg_callbacks callbacks{};
    callbacks.log_message = quiet_log;
    mg_init_data init{&callbacks, this, options};
    char text[kErrorTextSize] = {};
    unsigned code = 0;
    mg_error_data error{&code, text, sizeof text};
    ctx_ = mg_start2(&init, &error);
    if (!ctx_) return text[0] ? text : "the HTTP server did not start";
    mg_set_request_handler(ctx_, "/", handle, this);
    mg_server_port ports[1]{};
    if (mg_get_server_ports(ctx_, 1, ports) == 1) port_ = ports[0].port;
    return {};
}

void exporter_http::stop() {
    if (ctx_) mg_stop(ctx_);
    ctx_ = nullptr;
}

int exporter_http::serve(struct mg_connection* conn) {
    const mg_request_info* req = mg_get_request_info(conn);
    const bool head = std::strcmp(req->request_method, "HEAD") == 0;
    if (!head && std::strcmp(req->request_method, "GET") != 0) {
        respond(conn, kHttpBadMethod, "text/plain; charset=utf-8", "only GET and HEAD\n", false);
        return kHttpBadMethod;
    }
    const std::string uri = req->local_uri ? req->local_uri : "";
    if (uri == "/metrics") {
        const char* accept = mg_get_header(conn, "Accept");
        const exposition_format f = format_for_accept(accept ? accept : "");
        // Streamed as it is written, its end marked by the close (keep-alive is off): a fleet
        // of any size takes one piece of memory per scrape, not the whole text.
        send_head(conn, kHttpOk, exposition_content_type(f), nullptr);
        if (!head)
            metrics_(f, [conn](std::string_view piece) {
                return mg_write(conn, piece.data(), piece.size()) == int(piece.size());
            });
    } else if (uri == "/") {
        respond(conn, kHttpOk, "text/html; charset=utf-8", page_(), head);
    } else if (uri == "/-/healthy") {
        respond(conn, kHttpOk, "text/plain; charset=utf-8", "rebound_exporter is healthy.\n",
                head);
    } else {
        respond(conn, kHttpNotFound, "text/plain; charset=utf-8", "not found\n", head);
        return kHttpNotFound;
    }
    return kHttpOk;
}
