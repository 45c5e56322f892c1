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
    // How honest the echoes were. recvpkts counts every echo; these tell them apart.
    int32_t uniqpkts;    // probes answered at least once
    int32_t duppkts;     // echoes of a probe already answered
    int32_t latepkts;    // echoes of a probe whose own wait had timed out
    int32_t reorderpkts; // echoes below the highest sequence number already answered
    int32_t foreignpkts; // datagrams that are no echo of this run (not counted in recvpkts)
    int32_t sendfailpkts; // probes whose send call failed (not in sendpkts)
    int32_t unreachpkts;  // port-unreachable answers (ICMP) to probes
    int32_t skippedslots; // scheduled runs: send slots missed entirely (never sent late in a burst)
    int32_t expiredpkts; // echoes of probes past the late window: counted late, not matched,
                         // not in recvpkts
    int32_t droppedpkts; // datagrams the kernel dropped from the full receive buffer (any
                         // source): lost at the client, not on the path
};
