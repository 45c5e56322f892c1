// The record one round-trip run fills in; owned by the caller.
#pragma once

#include <cstdint>

inline constexpr int REBOUND_MAXPKTS = 10000; // entries of sendtime and recvtime

struct rebound_info {
    int32_t iterpkts;                 // sequence number handled last
    int32_t sendpkts;                 // datagrams sent with a positive byte count
    int32_t recvpkts;                 // echoes received with a positive byte count
    double difftime;                  // seconds of the whole run; 0.0 after an early end
    double sendtime[REBOUND_MAXPKTS]; // per iteration: wait for writability + send
    double recvtime[REBOUND_MAXPKTS]; // per echoed sequence number: the round-trip time
};
