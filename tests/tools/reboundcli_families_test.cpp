// reboundcli against reboundsrv over both address families on loopback: the lines keep their
// grammar with the endpoint written for the family (127.0.0.1:33333, [::1]:33333), the reports
// name the responder the same way, and the responder's default socket answers both families,
// printing an IPv4 peer as its IPv4 address. Bad address texts are refused before anything is
// sent.
#include "tests/support/child_process.h"
#include "tests/support/output_grammar.h"
#include "tests/support/responder_process.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace testsupport;
using json = nlohmann::json;

namespace {

// The lines that name an endpoint, the client's and the responder's.
const std::vector<std::string> kEndpointKinds = {"send", "recv1", "recv2", "lrecv", "lsend"};

void expect_family(const std::vector<std::string>& lines, const std::string& family,
                   const std::string& who) {
    int named = 0;
    for (const auto& line : lines) {
        const std::string kind = grammar::kind_of(line);
        if (std::find(kEndpointKinds.begin(), kEndpointKinds.end(), kind) == kEndpointKinds.end())
            continue;
        ++named;
        EXPECT_EQ(grammar::endpoint_family(line), family) << who << ": " << line;
    }
    EXPECT_GT(named, 0) << who;
}

TEST(Families, BothFamiliesMeasureWithTheirEndpointTextEverywhere) {
    ResponderProcess server({}, ""); // every address of both families
    ASSERT_TRUE(server.answering());
    const std::string port = std::to_string(server.port());
    struct Case {
        const char* host;    // as given
        const char* family;  // of the endpoint in the lines
        const char* start;   // kind of the first two lines
        const char* address; // the JSON document's responder address
        std::string target;  // the summary's and the metrics' name of the responder
    };
    const Case cases[] = {
        {"127.0.0.1", "ipv4", "start", "127.0.0.1", "127.0.0.1:" + port},
        {"::1", "ipv6", "start*v6", "::1", "[::1]:" + port},
        {"[::1]", "ipv6", "start*v6", "::1", "[::1]:" + port},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        const auto r = run_program("reboundcli", {"-h", c.host, "-p", port, "-c", "5", "-t", "1",
                                                  "--sendsize=64", "--recvsize=64", "-s"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const auto summary = std::find_if(r.lines.begin(), r.lines.end(),
                                          [](const auto& l) { return l.rfind("--- ", 0) == 0; });
        const std::vector<std::string> protocol(r.lines.begin(), summary);
        EXPECT_EQ(grammar::unmatched(protocol), std::vector<std::string>{});
        const std::string v6 = std::string(c.start) == "start" ? "" : "v6";
        EXPECT_EQ(grammar::kind_of(r.lines.at(0)), "start1" + v6);
        EXPECT_EQ(grammar::kind_of(r.lines.at(1)), "start2" + v6);
        expect_family(protocol, c.family, "client");
        EXPECT_EQ(grammar::of_kind(protocol, "recv1").size(), 5u);
        EXPECT_NE(r.out.find("--- " + c.target + " round-trip summary"), std::string::npos);

        const auto doc = run_program(
            "reboundcli", {"-h", c.host, "-p", port, "-c", "2", "--sendsize=64", "--json", "-"});
        const json d = json::parse(doc.out, nullptr, false);
        ASSERT_FALSE(d.is_discarded()) << doc.out;
        EXPECT_EQ(d["responder"]["address"], c.address);
        EXPECT_EQ(d["responder"]["port"], server.port());
    }
    // The responder printed each peer in its own family: the IPv4 one not as ::ffff:127.0.0.1.
    server.process().signal(SIGTERM);
    ASSERT_TRUE(server.process().wait());
    const auto lines = server.process().out_lines();
    EXPECT_EQ(grammar::unmatched(lines), std::vector<std::string>{});
    std::vector<std::string> v4, v6;
    for (const auto& l : lines)
        (grammar::endpoint_family(l) == "ipv6" ? v6 : v4).push_back(l);
    // The IPv4 echoes: the client's 5 + 2, and the start-up check's.
    EXPECT_GE(grammar::of_kind(v4, "lsend").size(), 5u + 2 + 1);
    EXPECT_EQ(grammar::of_kind(v6, "lsend").size(), 2u * (5 + 2));
    EXPECT_EQ(server.process().out().find("::ffff:"), std::string::npos);
}

// Address texts that are refused before anything is sent, with a message naming the fault.
TEST(Families, BadAddressesAndMarkingsAreRefusedWithExitTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"-h", "::1::"}, "'::1::' is not an IPv6 address"},
        {{"-h", "[::1"}, "'[::1' has an unmatched bracket"},
        {{"-h", "::1]"}, "has an unmatched bracket"},
        {{"-h", "fe80::1"}, "is link-local and needs a zone"},
        {{"-h", "fe80::1%no-such-if"}, "names no interface"},
        {{"-h", "::1%lo"}, "only a link-local address takes a zone"},
        {{"-h", "::1", "-4"}, "is an IPv6 address, but -4 asks for IPv4"},
        {{"-h", "127.0.0.1", "-6"}, "is an IPv4 address, but -6 asks for IPv6"},
        {{"-h", "::1", "-4", "-6"}, "excludes"},
        {{"--dscp", "64"}, "--dscp: '64' is neither a DSCP (0..63) nor a class name"},
        {{"--dscp", "XY"}, "--dscp: 'XY' is neither"},
        {{"--dscp", ""}, "--dscp: '' is neither"},
        {{"--dscp", "-1"}, "--dscp"},
        {{"--ttl", "0"}, "--ttl: '0' is not a whole number from 1 to 255"},
        {{"--ttl", "256"}, "--ttl: '256' is not a whole number from 1 to 255"},
    };
    for (const auto& c : cases) {
        auto args = c.args;
        args.insert(args.end(), {"-c", "1", "-p", "9"});
        const auto r = run_program("reboundcli", args);
        EXPECT_EQ(r.exit_code, 2) << c.args[1];
        EXPECT_EQ(r.out, "") << c.args[1];
        EXPECT_NE(r.err.find("Try 'reboundcli --help'."), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    for (const char* text : {"::1::", "[::1", "fe80::1", "::1%lo", "::ffff:1.2.3"}) {
        const auto r = run_program("reboundsrv", {"-h", text, "-p", "9"});
        EXPECT_EQ(r.exit_code, 2) << text;
        EXPECT_EQ(r.out, "") << text;
    }
    for (const char* range : {"::1/129", "fe80::1/64", "::1/", "1.2.3.4/33"}) {
        const auto r = run_program("reboundsrv", {"--allow", range, "-p", "9"});
        EXPECT_EQ(r.exit_code, 2) << range;
        EXPECT_NE(r.err.find("is not an IPv4 or IPv6 range"), std::string::npos) << r.err;
    }
}

} // namespace
