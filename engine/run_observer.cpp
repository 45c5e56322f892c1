#include "engine/run_observer.h"

rebound_observers::rebound_observers(std::initializer_list<rebound_observer*> list) {
    for (rebound_observer* o : list)
        add(o);
}

void rebound_observers::add(rebound_observer* o) {
    if (o) list_.push_back(o);
}

namespace {

// Hands one event to every observer in turn, in the order they were added.
template <class Observer, class... Params, class... Args>
void fan_out(const std::vector<Observer*>& list, void (Observer::*event)(Params...),
             const Args&... args) {
    for (Observer* o : list)
        (o->*event)(args...);
}

} // namespace

void rebound_observers::run_started(const rebound_run_start& e) {
    fan_out(list_, &rebound_observer::run_started, e);
}
void rebound_observers::probe_sent(const rebound_probe_sent& e) {
    fan_out(list_, &rebound_observer::probe_sent, e);
}
void rebound_observers::wait_ended(const rebound_wait_ended& e) {
    fan_out(list_, &rebound_observer::wait_ended, e);
}
void rebound_observers::echo_received(const rebound_echo& e) {
    fan_out(list_, &rebound_observer::echo_received, e);
}
void rebound_observers::receive_failed(const rebound_receive_failed& e) {
    fan_out(list_, &rebound_observer::receive_failed, e);
}
void rebound_observers::foreign_received(const rebound_foreign& e) {
    fan_out(list_, &rebound_observer::foreign_received, e);
}
void rebound_observers::iteration_done(int32_t done, int32_t total) {
    fan_out(list_, &rebound_observer::iteration_done, done, total);
}
void rebound_observers::run_ended(const rebound_run_end& e) {
    fan_out(list_, &rebound_observer::run_ended, e);
}
bool rebound_observers::wants_end() const {
    for (const rebound_observer* o : list_)
        if (o->wants_end()) return true;
    return false;
}

responder_observers::responder_observers(std::initializer_list<responder_observer*> list) {
    for (responder_observer* o : list)
        if (o) list_.push_back(o);
}

void responder_observers::started(const responder_start& e) {
    fan_out(list_, &responder_observer::started, e);
}
void responder_observers::datagram_received(const responder_datagram& e) {
    fan_out(list_, &responder_observer::datagram_received, e);
}
void responder_observers::echo_sent(const responder_echo_sent& e) {
    fan_out(list_, &responder_observer::echo_sent, e);
}
void responder_observers::datagram_refused(const responder_refused& e) {
    fan_out(list_, &responder_observer::datagram_refused, e);
}
void responder_observers::datagram_rate_limited(const responder_rate_limited& e) {
    fan_out(list_, &responder_observer::datagram_rate_limited, e);
}
void responder_observers::batch_done(int loop) {
    fan_out(list_, &responder_observer::batch_done, loop);
}
