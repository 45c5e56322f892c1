#include "engine/run_observer.h"

rebound_observers::rebound_observers(std::initializer_list<rebound_observer*> list) {
    for (rebound_observer* o : list)
        add(o);
}

void rebound_observers::add(rebound_observer* o) {
    if (o) list_.push_back(o);
}

// Each event goes to every observer in turn.
#define REBOUND_FAN_OUT(call)                                                                      \
    for (auto* o : list_)                                                                          \
        o->call;

void rebound_observers::run_started(const rebound_run_start& e) {
    REBOUND_FAN_OUT(run_started(e))
}
void rebound_observers::probe_sent(const rebound_probe_sent& e) {
    REBOUND_FAN_OUT(probe_sent(e))
}
void rebound_observers::wait_ended(const rebound_wait_ended& e) {
    REBOUND_FAN_OUT(wait_ended(e))
}
void rebound_observers::echo_received(const rebound_echo& e) {
    REBOUND_FAN_OUT(echo_received(e))
}
void rebound_observers::receive_failed(const rebound_receive_failed& e) {
    REBOUND_FAN_OUT(receive_failed(e))
}
void rebound_observers::foreign_received(const rebound_foreign& e) {
    REBOUND_FAN_OUT(foreign_received(e))
}
void rebound_observers::iteration_done(int32_t done, int32_t total) {
    REBOUND_FAN_OUT(iteration_done(done, total))
}
void rebound_observers::run_ended(const rebound_run_end& e) {
    REBOUND_FAN_OUT(run_ended(e))
}

responder_observers::responder_observers(std::initializer_list<responder_observer*> list) {
    for (responder_observer* o : list)
        if (o) list_.push_back(o);
}

void responder_observers::started(const responder_start& e) {
    REBOUND_FAN_OUT(started(e))
}
void responder_observers::datagram_received(const responder_datagram& e) {
    REBOUND_FAN_OUT(datagram_received(e))
}
void responder_observers::echo_sent(const responder_echo_sent& e) {
    REBOUND_FAN_OUT(echo_sent(e))
}
void responder_observers::datagram_refused(const responder_refused& e) {
    REBOUND_FAN_OUT(datagram_refused(e))
}
void responder_observers::datagram_rate_limited(const responder_rate_limited& e) {
    REBOUND_FAN_OUT(datagram_rate_limited(e))
}
void responder_observers::batch_done(int loop) {
    REBOUND_FAN_OUT(batch_done(loop))
}

#undef REBOUND_FAN_OUT
