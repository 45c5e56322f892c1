// A test suite that runs inside a private network namespace (enter_private_network), entered
// once before the suite's first test with the suite's own hosts file, then set up further by
// the suite's `prepare_network()` (an address on the loopback, a lowered MTU). Where any of it
// cannot be made, every test of the suite is skipped with the reason: a name look-up outside
// the namespace could reach the machine's resolver.
#pragma once

#include "tests/support/ip_command.h"
#include "tests/support/private_namespaces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// Suite names the derived fixture: it gives `static constexpr const char* kHosts` and may hide
// `prepare_network()`. Base is the fixture the suite extends.
template <class Suite, class Base = ::testing::Test>
class PrivateNetworkSuite : public Base {
  protected:
    static void SetUpTestSuite() {
        why_not_ = enter_private_network(Suite::kHosts);
        if (why_not_.empty()) why_not_ = Suite::prepare_network();
    }
    void SetUp() override {
        if (!why_not_.empty())
            GTEST_SKIP() << "no private network namespace (" << why_not_
                         << "); name look-ups would reach the machine's resolver";
        Base::SetUp();
    }
    static std::string prepare_network() { return ""; }
    static inline std::string why_not_;
};

} // namespace testsupport
