// Says on standard error, once each, why probes failed: the first failed send's reason (when
// the event lines, which carry every reason, are not shown) and a port that answered
// "unreachable". A run that shows only a summary then never fails without a word.
#pragma once

#include "engine/run_observer.h"

#include <cstdio>
#include <string>

class failure_notice final : public rebound_observer {
  public:
    failure_notice(std::FILE* out, std::string target, bool lines_shown)
        : out_(out), target_(std::move(target)), lines_shown_(lines_shown) {}

    void probe_sent(const rebound_probe_sent& e) override;
    void receive_failed(const rebound_receive_failed& e) override;

  private:
    std::FILE* out_;
    std::string target_;
    bool lines_shown_;
    bool send_told_ = false;
    bool unreachable_told_ = false;
};
