// A plain HTTP/1.0 request to a server on 127.0.0.1, read to the server's close: what a
// scraper does, without a client library between the test and the bytes.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

struct HttpReply {
    int status = 0; // 0: no reply
    std::string head; // status line and headers
    std::string body;
    std::string header(const std::string& name) const; // the first such header's value
};

HttpReply http_request(int port, const std::string& method, const std::string& path,
                       const std::vector<std::string>& headers = {},
                       std::chrono::milliseconds limit = std::chrono::seconds(10));
inline HttpReply http_get(int port, const std::string& path,
                          const std::vector<std::string>& headers = {}) {
    return http_request(port, "GET", path, headers);
}

} // namespace testsupport
