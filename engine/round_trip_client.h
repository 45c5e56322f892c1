// One complete UDP round-trip measurement against an echo responder. The run reports every
// event to an observer (see run_observer.h); the line printer turns them into the output
// protocol of reboundcli.
#pragma once

#include "engine/probe_window.h"
#include "engine/result_record.h"
#include "engine/run_observer.h"

#include <cstddef>
#include <cstdint>

inline constexpr double kDefaultInterval = 0.001; // pause after every answered probe, seconds

struct rebound_params {
    const char* ipaddr = "127.0.0.1";
    int32_t ipport = 33333;
    double timeout = 0.1; // limit of every single wait, seconds
    int32_t count = 100;  // probes to send; 0 or less sends none
    int32_t sendsize = 8192;
    int32_t recvsize = 8192;
    double interval = kDefaultInterval; // pause after every answered probe in phase 1
    double duration = 0;                // phase 1 ends after this many seconds; 0: no limit
    // Lock-step runs: each wait for an echo first looks for it without sleeping, for up to this
    // many seconds (within the wait's limit), then sleeps in the kernel. An echo that comes
    // within it spares the thread a sleep and a wake-up (processor time traded for speed).
    // 0: every wait sleeps at once. Scheduled runs always sleep to their deadlines.
    double busy_wait = 0;
    bool kernel_stamps = true; // time arrivals by the kernel's receive stamp where it gives one
    // Probes an echo is matched to at most: an echo of a probe followed by this many others
    // is past the late window, counted late and not matched (probe_window.h).
    size_t late_window = probe_window::kDefaultCapacity;
    // Scheduled probing when above 0: probe k goes out at start + k·period on the monotonic
    // clock whether or not echoes came back (open loop); each echo is still late after
    // `timeout` from its own send, and after the last send the run waits `timeout` for what is
    // outstanding. A slot the run could not keep is skipped and counted, never caught up in a
    // burst. 0: lock-step, each probe waits for its echo (or `timeout`), then `interval`.
    double period = 0;
    // Ask the responder for its receive and send time stamps (responder_stamps.h); echoes that
    // carry them split the round trip by direction. Probes and echoes need at least
    // kStampedEchoSize bytes to hold them.
    bool want_stamps = false;
    // Marking of the probes: the DSCP (0..63; -1 leaves the system's default), the IPv4 TTL or
    // IPv6 hop limit (1..255; 0 leaves the default), and don't-fragment: a probe larger than
    // the path's MTU then fails its send (counted with the failed sends), never fragmented.
    int dscp = -1;
    int ttl = 0;
    bool dont_fragment = false;
};

// The late window a scheduled run needs: every probe within its time limit, twice over.
size_t scheduled_late_window(double timeout, double period);

// The most probes a run with these parameters can send (rebound_run_start::probes_bound).
int64_t rebound_probes_bound(const rebound_params& p);

// Sends the probes, waits for every echo, drains outstanding echoes, and fills *reboundinfo.
// The round trip of an echo is its arrival minus the send of the probe whose sequence number
// it carries, both readings taken right at the system calls. The socket is closed at the end.
rebound_end rebound_run(const rebound_params& params, rebound_info* reboundinfo,
                        rebound_observer& observer);

// The classic entry point: the same run; without an observer, the lines go to standard output.
rebound_end rebound_connect(const char* ipaddr, int32_t ipport, double timeout, int32_t count,
                            int32_t sendsize, int32_t recvsize, rebound_info* reboundinfo,
                            rebound_observer* observer = nullptr);
