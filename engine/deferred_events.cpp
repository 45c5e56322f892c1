#include "engine/deferred_events.h"

#include <algorithm>
#include <type_traits>

deferred_events::deferred_events(rebound_observer& target) : target_(target) {
    held_.reserve(kCapacity); // never grows inside a round trip
}

void deferred_events::hold(Event&& e) {
    if (held_.size() == kCapacity) deliver();
    held_.push_back(std::move(e));
}

void deferred_events::probe_sent(const rebound_probe_sent& e) {
    Sent s{e, {}};
    std::copy_n(e.header, PKTHDR_SIZE, s.header.begin());
    hold(s);
}
void deferred_events::wait_ended(const rebound_wait_ended& e) {
    hold(e);
}
void deferred_events::echo_received(const rebound_echo& e) {
    hold(e);
}
void deferred_events::receive_failed(const rebound_receive_failed& e) {
    hold(e);
}
void deferred_events::foreign_received(const rebound_foreign& e) {
    hold(e);
}

void deferred_events::deliver() {
    for (Event& held : held_) {
        std::visit(
            [this](auto& e) {
                using T = std::decay_t<decltype(e)>;
                if constexpr (std::is_same_v<T, Sent>) {
                    e.event.header = e.header.data();
                    target_.probe_sent(e.event);
                } else if constexpr (std::is_same_v<T, rebound_wait_ended>) {
                    target_.wait_ended(e);
                } else if constexpr (std::is_same_v<T, rebound_echo>) {
                    target_.echo_received(e);
                } else if constexpr (std::is_same_v<T, rebound_receive_failed>) {
                    target_.receive_failed(e);
                } else {
                    target_.foreign_received(e);
                }
            },
            held);
    }
    held_.clear();
}
