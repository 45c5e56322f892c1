// The events of one round trip, held while it is under way and handed to the observer once its
// wait is over: nothing an observer does (formatting, storing, writing) runs between a probe's
// send and its echo's arrival. Events keep their order. The hold is bounded: a flood of
// datagrams within one wait is handed on as it fills the hold, never stored without end.
#pragma once

#include "engine/probe_header.h"
#include "engine/run_observer.h"

#include <array>
#include <cstddef>
#include <variant>
#include <vector>

class deferred_events final : public rebound_observer {
  public:
    static constexpr size_t kCapacity = 256; // events held at most before they are handed on

    explicit deferred_events(rebound_observer& target);

    // Held until deliver(); the probe's header bytes are copied, the buffer may change.
    void probe_sent(const rebound_probe_sent& e) override;
    void wait_ended(const rebound_wait_ended& e) override;
    void echo_received(const rebound_echo& e) override;
    void receive_failed(const rebound_receive_failed& e) override;
    void foreign_received(const rebound_foreign& e) override;

    // Hands every held event to the target, in order, and empties the hold.
    void deliver();

  private:
    struct Sent {
        rebound_probe_sent event;
        std::array<unsigned char, PKTHDR_SIZE> header;
    };
    using Event =
        std::variant<Sent, rebound_wait_ended, rebound_echo, rebound_receive_failed, rebound_foreign>;
    void hold(Event&& e);

    rebound_observer& target_;
    std::vector<Event> held_;
};
