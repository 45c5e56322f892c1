// dns_query and rebounddns against name servers on loopback port 53: dnsmasq with records the
// test configures, and a fixture server for replies dnsmasq never sends.
#include "dns/dns_query.h"
#include "tests/dns/crafted_replies.h"
#include "tests/dns/dnsmasq_server.h"
#include "tests/dns/fixture_server.h"
#include "tests/dns/port53.h"
#include "tests/dns/print_capture.h"
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <dirent.h>
#include <memory>
#include <unistd.h>

namespace {

using dnstest::counts;
using dnstest::Lines;
using dnstest::operator+;

// ---- dnsmasq ----

class RealServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new dnstest::DnsmasqServer({
            "--host-record=one.rebound.test,127.0.9.1",
            "--cname=alias.rebound.test,one.rebound.test",
            "--cname=outer.rebound.test,alias.rebound.test",
            "--ptr-record=7.9.0.127.in-addr.arpa,seven.rebound.test",
            "--local=/rebound.test/", // other names there do not exist; names elsewhere are refused
        });
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_->why_not().empty())
            GTEST_SKIP() << "no name server on port 53: " << server_->why_not();
        ASSERT_TRUE(server_->error().empty()) << server_->error();
    }
    static const std::string& address() { return server_->address(); }
    static dnstest::DnsmasqServer* server_;
};
dnstest::DnsmasqServer* RealServer::server_ = nullptr;

struct RealCase {
    const char* name;
    int type;
    Lines lines;
};

std::vector<RealCase> real_cases() {
    return {
        {"one.rebound.test", 1,
         counts(1, 1, 0, 0) +
             Lines{" Answer: 1, Name: one.rebound.test has IPv4 address: 127.0.9.1"}},
        {"outer.rebound.test", 1,
         counts(1, 3, 0, 0) +
             Lines{" Answer: 1, Name: outer.rebound.test has alias name: alias.rebound.test",
                   " Answer: 2, Name: alias.rebound.test has alias name: one.rebound.test",
                   " Answer: 3, Name: one.rebound.test has IPv4 address: 127.0.9.1"}},
        {"7.9.0.127.in-addr.arpa", 12,
         counts(1, 1, 0, 0) + Lines{" Answer: 1, Name: 7.9.0.127.in-addr.arpa domain name pointer: "
                                    "seven.rebound.test"}},
        {"1.9.0.127.in-addr.arpa", 12,
         counts(1, 1, 0, 0) +
             Lines{
                 " Answer: 1, Name: 1.9.0.127.in-addr.arpa domain name pointer: one.rebound.test"}},
        {"ONE.rebound.test.", 1, // a complete name, and any case
         counts(1, 1, 0, 0) +
             Lines{" Answer: 1, Name: ONE.rebound.test has IPv4 address: 127.0.9.1"}},
        {"missing.rebound.test", 1, // an error code, no answers
         counts(1, 0, 0, 0) + Lines{" Response code: 3 (no such name)."}},
        {"elsewhere.test", 1, counts(1, 0, 0, 0) + Lines{" Response code: 5 (refused)."}},
    };
}

TEST_F(RealServer, QueriesDecodeAndPrintLineByLine) {
    auto r = std::make_unique<dns_response>();
    for (const auto& c : real_cases()) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(dns_query(c.type, 1, c.name, address().c_str(), r.get(), 5.0), 1);
        EXPECT_EQ(dnstest::printed(*r), c.lines);
    }
}

TEST_F(RealServer, RebounddnsPrintsTheSameLines) {
    const auto alias = testsupport::run_program("rebounddns", {"outer.rebound.test", address()});
    EXPECT_EQ(alias.exit_code, 0) << alias.err;
    EXPECT_EQ(alias.lines, real_cases()[1].lines);
    EXPECT_EQ(alias.err, "");

    // PTR of a dotted address asks for its in-addr.arpa name.
    const auto ptr = testsupport::run_program("rebounddns", {"127.0.9.7", address(), "ptr"});
    EXPECT_EQ(ptr.exit_code, 0) << ptr.err;
    EXPECT_EQ(ptr.lines, real_cases()[2].lines);
    const auto numeric =
        testsupport::run_program("rebounddns", {"7.9.0.127.in-addr.arpa", address(), "12"});
    EXPECT_EQ(numeric.lines, real_cases()[2].lines);
}

// ---- fixture server ----

class FixtureServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = std::make_unique<dnstest::FixtureServer>(
            [this](const dnstest::Bytes& query, const sockaddr_in& client) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (answer_) return answer_(query, client);
                if (reply_.empty()) return std::vector<dnstest::Bytes>{};
                return std::vector<dnstest::Bytes>{dnstest::answer_to(query, reply_)};
            });
        if (!server_->why_not().empty())
            GTEST_SKIP() << "no fixture server on port 53: " << server_->why_not();
    }
    // The reply to every query, with the query's identifier.
    void reply_with(const dnstest::Bytes& b) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = b;
    }
    // Any datagrams for a query, in place of the reply.
    void answer_with(dnstest::FixtureServer::Answer answer) {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = std::move(answer);
    }
    const std::string& address() const { return server_->address(); }

    std::mutex mutex_;
    dnstest::Bytes reply_; // empty: the server stays silent
    dnstest::FixtureServer::Answer answer_;
    std::unique_ptr<dnstest::FixtureServer> server_;
};

TEST_F(FixtureServerTest, TheQueryOnTheWire) {
    auto r = std::make_unique<dns_response>();
    reply_with(dnstest::Reply::answering("one.two.three", 0).bytes);
    ASSERT_EQ(dns_query(1, 1, "one.two.three", address().c_str(), r.get(), 5.0), 1);
    const auto queries = server_->queries();
    ASSERT_EQ(queries.size(), 1u);
    const dnstest::Bytes& q = queries[0];
    ASSERT_EQ(q.size(), 31u);
    // Bytes 0 and 1: a random identifier.
    EXPECT_EQ(dnstest::Bytes(q.begin() + 2, q.begin() + 12),
              (dnstest::Bytes{1, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dnstest::Bytes(q.begin() + 12, q.begin() + 27), dnstest::wire("one.two.three"));
    EXPECT_EQ(dnstest::Bytes(q.begin() + 27, q.end()), (dnstest::Bytes{0, 1, 0, 1}));
}

TEST_F(FixtureServerTest, CraftedRepliesThroughTheQuery) {
    auto r = std::make_unique<dns_response>();
    for (const auto& c : dnstest::crafted_replies()) {
        SCOPED_TRACE(c.what);
        reply_with(c.bytes);
        EXPECT_EQ(dns_query(1, 1, dnstest::kQueried, address().c_str(), r.get(), 5.0),
                  c.result == 0 ? 1 : c.result);
        EXPECT_EQ(dnstest::printed(*r), c.lines);
    }
}

// A UDP socket on `address` at a port of the system's choice, or -1.
int socket_on(const std::string& address) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

void send_to(int fd, const dnstest::Bytes& bytes, const sockaddr_in& to) {
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Datagrams that look like the reply to a query for kQueried and each name 6.6.6.6: from port
// 53 of another address, from another port of the server's address, and from the server with
// another identifier, without the response flag and for another question.
class Strays {
  public:
    explicit Strays(const std::string& server)
        : other_(dnstest::bind_port53(false, 1)), side_(socket_on(server)) {}
    ~Strays() {
        if (other_.fd >= 0) ::close(other_.fd);
        if (side_ >= 0) ::close(side_);
    }
    bool ready() const { return other_.fd >= 0 && side_ >= 0; }

    // Sends the first two itself; returns the rest for the server to send.
    std::vector<dnstest::Bytes> answer(const dnstest::Bytes& query, const sockaddr_in& client) {
        const dnstest::Bytes forged = dnstest::answer_to(query, forged_for(dnstest::kQueried));
        send_to(other_.fd, forged, client);
        send_to(side_, forged, client);
        dnstest::Bytes other_id = forged, not_a_response = forged;
        other_id[1] ^= 1;
        not_a_response[2] &= 0x7F;
        return {other_id, not_a_response,
                dnstest::answer_to(query, forged_for("another.rebound.test"))};
    }

  private:
    static dnstest::Bytes forged_for(const std::string& name) {
        return dnstest::Reply::answering(name, 1)
            .record(dnstest::pointer(12), 1, {6, 6, 6, 6})
            .bytes;
    }
    dnstest::Port53 other_;
    int side_;
};

TEST_F(FixtureServerTest, OnlyTheServersAnswerToThisQueryIsTheReply) {
    Strays strays(address());
    ASSERT_TRUE(strays.ready());
    auto r = std::make_unique<dns_response>();
    const auto genuine = dnstest::crafted_replies()[0]; // alias and address
    answer_with([&](const dnstest::Bytes& query, const sockaddr_in& client) {
        auto datagrams = strays.answer(query, client);
        datagrams.push_back(dnstest::answer_to(query, genuine.bytes));
        return datagrams;
    });
    EXPECT_EQ(dns_query(1, 1, dnstest::kQueried, address().c_str(), r.get(), 5.0), 1);
    EXPECT_EQ(dnstest::printed(*r), genuine.lines);

    // The strays alone are no reply: the wait runs out.
    answer_with([&](const dnstest::Bytes& query, const sockaddr_in& client) {
        return strays.answer(query, client);
    });
    EXPECT_EQ(dns_query(1, 1, dnstest::kQueried, address().c_str(), r.get(), 1.0), SOCKERR_FAIL);
    EXPECT_EQ(r->answer_count, 0);
}

TEST_F(FixtureServerTest, RebounddnsPrintsTheServersRefusalNotAStray) {
    Strays strays(address());
    ASSERT_TRUE(strays.ready());
    answer_with([&](const dnstest::Bytes& query, const sockaddr_in& client) {
        auto datagrams = strays.answer(query, client);
        dnstest::Bytes refused = dnstest::Reply::header(0, 0, 0, 0).bytes;
        refused[3] = 0x85;
        datagrams.push_back(dnstest::answer_to(query, refused));
        return datagrams;
    });
    const auto run = testsupport::run_program("rebounddns", {dnstest::kQueried, address()});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    const Lines expected =
        counts(0, 0, 0, 0) + Lines{" Response code: 5 (refused).",
                                   " The reply holds no question: it does not show which question "
                                   "it answers."};
    EXPECT_EQ(run.lines, expected);
}

int open_descriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

TEST_F(FixtureServerTest, NoAnswerGivesSockerrFailAndEveryQueryClosesItsSocket) {
    auto r = std::make_unique<dns_response>();
    r->answer_count = 7;
    const int before = open_descriptors();
    EXPECT_EQ(dns_query(1, 1, dnstest::kQueried, address().c_str(), r.get(), 0.2), SOCKERR_FAIL);
    EXPECT_EQ(r->answer_count, 0);
    reply_with(dnstest::alias_and_address_reply());
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(dns_query(1, 1, dnstest::kQueried, address().c_str(), r.get(), 5.0), 1);
    EXPECT_EQ(open_descriptors(), before);
    EXPECT_EQ(dns_query(1, 1, "bad..name", address().c_str(), r.get(), 5.0), DNSERR_BAD_NAME);
    EXPECT_EQ(server_->queries().size(), 21u); // a name that cannot be sent is not sent
}

TEST_F(FixtureServerTest, RebounddnsReportsBrokenRepliesAndSilence) {
    const auto crafted = dnstest::crafted_replies();
    const auto& loop = *std::find_if(crafted.begin(), crafted.end(),
                                     [](const auto& c) { return c.result == DNSERR_POINTER_LOOP; });
    reply_with(loop.bytes);
    const auto broken = testsupport::run_program("rebounddns", {dnstest::kQueried, address()});
    EXPECT_EQ(broken.exit_code, 3);
    EXPECT_EQ(broken.lines, loop.lines); // what came before the fault, nothing after it
    EXPECT_NE(broken.err.find("broken reply from " + address() + ": compression pointers"),
              std::string::npos)
        << broken.err;

    reply_with({});
    const auto silent = testsupport::run_program("rebounddns", {dnstest::kQueried, address()});
    EXPECT_EQ(silent.exit_code, 1);
    EXPECT_EQ(silent.out, "");
    EXPECT_NE(silent.err.find("no reply from " + address()), std::string::npos) << silent.err;
}

TEST_F(FixtureServerTest, RebounddnsEndsOnSigterm) {
    testsupport::ChildProcess p;
    ASSERT_TRUE(p.start(testsupport::program_path("rebounddns"), {dnstest::kQueried, address()}));
    // Once the query arrived, the program is waiting for the reply.
    for (int i = 0; i < 1000 && server_->queries().empty(); ++i)
        ::usleep(10000);
    ASSERT_FALSE(server_->queries().empty());
    p.signal(SIGTERM);
    ASSERT_TRUE(p.wait(std::chrono::seconds(30)));
    EXPECT_EQ(p.exit_code(), 128 + SIGTERM);
    EXPECT_EQ(p.out(), "");
}

TEST(RebounddnsCommandLine, BadArgumentsAreRefused) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } bad[] = {
        {{}, "NAME is required"},
        {{"a", "127.0.0.1", "A", "extra"}, "not expected: extra"},
        {{"a", "127.1"}, "'127.1' is not a dotted IPv4 address"}, // no shorthand addresses
        {{"a", "0x7f000001"}, "is not a dotted IPv4 address"},
        {{"a\nb", "127.0.0.1"}, "name 'a\\nb' holds control characters"},
        {{"a", "127.0.0.1", "MX"}, "type 'MX'"},
        {{"a", "127.0.0.1", "65536"}, "type '65536'"},
        {{"a..b", "127.0.0.1"}, "name 'a..b'"},
        {{"a", "--bogus"}, "--bogus"},
    };
    for (const auto& c : bad) {
        const auto r = testsupport::run_program("rebounddns", c.args);
        EXPECT_EQ(r.exit_code, 2) << (c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("rebounddns: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    const auto help = testsupport::run_program("rebounddns", {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.lines.at(0), "Usage: rebounddns [OPTIONS] NAME [SERVER] [TYPE]");
}

} // namespace
