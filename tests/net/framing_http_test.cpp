// Framing against a real HTTP/1.1 server (Node.js's http module) started on 127.0.0.1: its
// response header block, its chunked body, and a chunked request body it must accept.
#include "address/sockaddr.h"
#include "net/bind_listen.h"
#include "net/connect.h"
#include "net/framing.h"
#include "net/options.h"
#include "net/transfer.h"
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string find_node() {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin");
    for (std::string dir; std::getline(path, dir, ':');)
        if (::access((dir + "/node").c_str(), X_OK) == 0) return dir + "/node";
    return "";
}

class HttpFraming : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string node = find_node();
        ASSERT_FALSE(node.empty()) << "node not found: install it with scripts/install-deps.sh";
        ASSERT_TRUE(server_.start(node, {HTTP_PEER_SCRIPT}));
        ASSERT_TRUE(server_.wait_for_output("\n")) << server_.err();
        port_ = std::stoi(server_.out());

        sock_ = tcp_create(AF_INET);
        ASSERT_GE(sock_, 0);
        const sockaddr_in to =
            create_sockaddrin(AF_INET, "127.0.0.1", std::to_string(port_).c_str());
        ASSERT_GT(tcp_connect(sock_, reinterpret_cast<const sockaddr*>(&to), 10.0), 0);
        ASSERT_EQ(tcp_setopt(sock_, SOCKOPT_BLOCKING, 0), 1);
    }
    void TearDown() override {
        if (sock_ >= 0) tcp_close(sock_);
        server_.signal(SIGTERM);
        server_.wait(std::chrono::seconds(10));
    }

    void send_text(const std::string& text) {
        ASSERT_EQ(tcp_send(sock_, text.data(), int(text.size()), 10.0), int(text.size()));
    }

    std::string receive_header() {
        std::vector<char> buf(4096);
        const int32_t n = tcp_recv_header(sock_, buf.data(), int(buf.size()), 10.0);
        return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
    }

    testsupport::ChildProcess server_;
    int port_ = 0;
    int32_t sock_ = -1;
};

TEST_F(HttpFraming, ChunkedResponseIsReadChunkByChunk) {
    send_text("GET /chunks HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const std::string header = receive_header();
    EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << header;
    EXPECT_NE(header.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << header;
    EXPECT_EQ(header.substr(header.size() - 4), "\r\n\r\n");

    const std::vector<std::string> expected = {"abcdefghijklmnopqrstuvwxyz", std::string(1000, 'x'),
                                               [] {
                                                   std::string s;
                                                   for (int i = 0; i < 700; ++i)
                                                       s += "0123456789";
                                                   return s;
                                               }(),
                                               "!"};
    std::vector<char> buf(8192);
    for (const auto& part : expected) {
        const int32_t n = tcp_recv_chunk(sock_, buf.data(), int(buf.size()), 10.0);
        ASSERT_EQ(n, int(part.size()));
        EXPECT_EQ(std::string(buf.data(), static_cast<size_t>(n)), part);
    }
    EXPECT_EQ(tcp_recv_chunk(sock_, buf.data(), int(buf.size()), 10.0), 0);
    // What follows the last chunk is the empty trailer line, left in the socket.
    char rest[8] = {};
    EXPECT_EQ(tcp_recv_some(sock_, rest, sizeof rest, 10.0), 2);
    EXPECT_STREQ(rest, "\r\n");
}

TEST_F(HttpFraming, SmallBufferKeepsTheStreamInStep) {
    send_text("GET /chunks HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    ASSERT_FALSE(receive_header().empty());
    char buf[16];
    std::vector<int32_t> sizes;
    for (int32_t n; (n = tcp_recv_chunk(sock_, buf, sizeof buf, 10.0)) > 0;)
        sizes.push_back(n);
    EXPECT_EQ(sizes, (std::vector<int32_t>{26, 1000, 7000, 1}));
}

TEST_F(HttpFraming, ChunkedRequestBodyIsAccepted) {
    send_text("POST /length HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n"
              "Connection: close\r\n\r\n");
    const std::string first = "abcdefghijklmnopqrstuvwxyz", second(70000, 'z');
    EXPECT_EQ(tcp_send_chunk(sock_, first.data(), int(first.size()), 10.0), 32);
    EXPECT_EQ(tcp_send_chunk(sock_, second.data(), int(second.size()), 10.0),
              int(second.size()) + 9);
    EXPECT_EQ(tcp_send_chunk(sock_, nullptr, 0, 10.0), 3);
    send_text("\r\n"); // the empty trailer ends the body

    const std::string header = receive_header();
    EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << header;
    EXPECT_NE(header.find("Content-Length: 5\r\n"), std::string::npos) << header;
    char body[8] = {};
    EXPECT_EQ(tcp_recv(sock_, body, 5, 10.0), 5);
    EXPECT_STREQ(body, "70026");
}

} // namespace
