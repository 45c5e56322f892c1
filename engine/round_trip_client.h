// One complete UDP round-trip measurement against an echo responder. Every event is one line on
// standard output; these lines are also the output protocol of reboundcli.
#pragma once

#include "engine/result_record.h"

#include <cstdint>

enum class rebound_end {
    normal,  // statistics printed, difftime set
    early,   // a wait failed: its line is the last one, no statistics
    stopped, // SIGINT/SIGTERM arrived during a wait (reboundcli only)
};

// Optional observer, called after every phase-1 iteration with the number of iterations done
// and the total. It must not write to standard output.
struct rebound_progress {
    void (*on_iteration)(void* context, int32_t done, int32_t total) = nullptr;
    void* context = nullptr;
};

// Sends `count` probes of `sendsize` bytes to ipaddr:ipport, asking for echoes of `recvsize`
// bytes, each wait limited to `timeout` seconds, then drains outstanding echoes. Every probe
// is sent and counted whatever `count` is; times are stored for indices below REBOUND_MAXPKTS
// only. The socket is closed at the end of every run.
rebound_end rebound_connect(const char* ipaddr, int32_t ipport, double timeout, int32_t count,
                            int32_t sendsize, int32_t recvsize, rebound_info* reboundinfo,
                            const rebound_progress* progress = nullptr);
