// The marking of the probes against reboundsrv over both families: the DSCP the client asks for
// reaches the responder and, with --dscp-echo, comes back; without it the echo carries the
// default marking. With --df, a probe above the loopback MTU of a namespace of the test's own
// fails its send, counted, with a clear message.
#include "tests/support/child_process.h"
#include "tests/support/private_network_suite.h"
#include "tests/support/responder_process.h"
#include "util/dscp_text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>

using namespace testsupport;
using json = nlohmann::json;

namespace {

json run_json(const std::vector<std::string>& args, int* exit_code = nullptr,
              std::string* err = nullptr) {
    auto all = args;
    all.insert(all.end(), {"--json", "-"});
    const auto r = run_program("reboundcli", all);
    if (exit_code) *exit_code = r.exit_code;
    if (err) *err = r.err;
    return json::parse(r.out, nullptr, false);
}

TEST(Marking, TheDscpSentIsSeenAtTheResponderAndBackWhereEchoed) {
    ResponderProcess echoing({"--dscp-echo"}, "");
    ResponderProcess plain({}, "");
    ASSERT_TRUE(echoing.answering() && plain.answering());
    struct Case {
        const char* host;
        const char* dscp;  // as given
        bool echoed;       // against --dscp-echo
        const char* there; // the class at the responder
        const char* back;  // the class the echoes came back with
    };
    const Case cases[] = {
        {"127.0.0.1", "EF", true, "EF", "EF"},       {"::1", "EF", true, "EF", "EF"},
        {"127.0.0.1", "af41", true, "AF41", "AF41"}, {"::1", "40", true, "CS5", "CS5"},
        {"127.0.0.1", "EF", false, "EF", "CS0"},     {"::1", "CS1", false, "CS1", "CS0"},
    };
    constexpr int kCount = 5;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + c.dscp + (c.echoed ? " echoed" : ""));
        const int port = (c.echoed ? echoing : plain).port();
        int status = -1;
        const json d =
            run_json({"-h", c.host, "-p", std::to_string(port), "-c", std::to_string(kCount),
                      "--sendsize=64", "--recvsize=64", "--stamps", "--dscp", c.dscp},
                     &status);
        ASSERT_FALSE(d.is_discarded());
        EXPECT_EQ(status, 0);
        const json& m = d["summary"]["dscp"];
        EXPECT_EQ(m["sent"], c.there);
        // The first stamped probe may arrive before the responder reads the marking.
        EXPECT_GE(m["at_responder"].value(c.there, 0), kCount - 1) << m.dump();
        EXPECT_EQ(m["back"], json({{c.back, kCount}})) << m.dump();
        // Every probe's record tells the same, as numbers.
        for (const json& r : d["probes"]) {
            EXPECT_EQ(r["dscp_back"], *parse_dscp(c.back)) << r.dump();
            if (r["seq"] > 0) { // the first may arrive before the responder reads the marking
                EXPECT_EQ(r["dscp_at_responder"], *parse_dscp(c.there)) << r.dump();
            }
        }
    }
}

class SmallMtu : public PrivateNetworkSuite<SmallMtu> {
  public:
    static constexpr const char* kHosts = "127.0.0.1 localhost\n";
    static std::string prepare_network() {
        return run_ip({"link", "set", "lo", "mtu", std::to_string(kMtu)});
    }
    static constexpr int kMtu = 1280; // the least IPv6 allows
};

TEST_F(SmallMtu, DontFragmentFailsAProbeAboveTheMtuAndCountsIt) {
    ResponderProcess server({}, "");
    ASSERT_TRUE(server.answering());
    struct Case {
        const char* host;
        int size;
        bool df;
        bool passes;
    };
    const Case cases[] = {
        {"127.0.0.1", 1400, true, false}, {"::1", 1400, true, false},
        {"127.0.0.1", 1400, false, true}, {"::1", 1400, false, true}, // in fragments
        {"127.0.0.1", 1000, true, true},  {"::1", 1000, true, true},
    };
    constexpr int kCount = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " " + std::to_string(c.size) + (c.df ? " --df" : ""));
        std::vector<std::string> args{"-h",
                                      c.host,
                                      "-p",
                                      std::to_string(server.port()),
                                      "-c",
                                      std::to_string(kCount),
                                      "-t",
                                      "1",
                                      "--sendsize=" + std::to_string(c.size),
                                      "--recvsize=" + std::to_string(c.size)};
        if (c.df) args.push_back("--df");
        int status = -1;
        std::string err;
        const json d = run_json(args, &status, &err);
        ASSERT_FALSE(d.is_discarded());
        const json& s = d["summary"];
        if (c.passes) {
            EXPECT_EQ(status, 0) << err;
            EXPECT_EQ(s["echoes_unique"], kCount);
            continue;
        }
        EXPECT_EQ(status, 3) << err; // a complete run in which no echo came back
        EXPECT_EQ(s["send_failed"], kCount);
        EXPECT_EQ(s["probes_sent"], 0);
        EXPECT_NE(err.find("Message too long (the probe does not fit the path's MTU "
                           "unfragmented)"),
                  std::string::npos)
            << err;
    }
}

} // namespace
