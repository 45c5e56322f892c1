#include "tests/report/synthetic_run.h"

#include <cstring>

namespace testsupport {

rebound_info feed(const synthetic_run& run, rebound_observer& observer) {
    static rebound_info info; // large: kept off the stack
    std::memset(&info, 0, sizeof info);
    sockaddr_in responder{};
    responder.sin_family = AF_INET;
    responder.sin_port = htons(33333);
    responder.sin_addr.s_addr = htonl(0x7f000001);
    const auto count = static_cast<int32_t>(run.probes.size());
    observer.run_started({"127.0.0.1", "33333", responder, run.start_stamp, count,
                          probe_window::kDefaultCapacity, run.stamps_asked, run.dscp, count,
                          run.send_lateness >= 0});
    unsigned char header[16] = {};
    int32_t highest_answered = -1;
    for (size_t i = 0; i < run.probes.size(); ++i) {
        const auto& p = run.probes[i];
        const auto index = static_cast<int32_t>(i);
        observer.probe_sent({index,
                             header,
                             64,
                             64,
                             0,
                             run.send_duration,
                             run.step * double(i),
                             {info.sendpkts, info.recvpkts},
                             0,
                             run.send_lateness});
        ++info.sendpkts;
        if (p.round_trip < 0) {
            observer.wait_ended({rebound_wait::for_echo,
                                 rebound_wait_outcome::timed_out,
                                 index,
                                 {info.sendpkts, info.recvpkts}});
        } else {
            for (int echo = 0; echo <= p.duplicates; ++echo) {
                uint8_t marks = 0;
                if (echo > 0) marks |= REBOUND_ECHO_DUPLICATE;
                if (p.late) marks |= REBOUND_ECHO_LATE;
                if (index < highest_answered) marks |= REBOUND_ECHO_OUT_OF_ORDER;
                observer.echo_received({1,
                                        index,
                                        index,
                                        responder,
                                        64,
                                        p.round_trip,
                                        false,
                                        marks,
                                        {info.sendpkts, info.recvpkts},
                                        {p.stamped, p.dwell, p.send_delay,
                                         p.round_trip - p.send_delay - p.dwell}});
                ++info.recvpkts;
                if (echo == 0) ++info.uniqpkts;
                if (echo > 0) ++info.duppkts;
                if (p.late && echo == 0) ++info.latepkts;
            }
            if (index > highest_answered) highest_answered = index;
        }
        info.iterpkts = index;
        observer.iteration_done(index + 1, count);
    }
    for (int f = 0; f < run.foreign; ++f) {
        observer.foreign_received({2, 0, responder, 3, rebound_foreign_reason::too_short});
        ++info.foreignpkts;
    }
    const double end_stamp = run.end == rebound_end::normal
                                 ? run.start_stamp + run.step * double(run.probes.size())
                                 : 0.0;
    if (end_stamp > 0) info.difftime = end_stamp - run.start_stamp;
    observer.run_ended({run.end, &info, run.start_stamp, end_stamp});
    return info;
}

std::vector<synthetic_probe> probes_with_drops(int n, int drop_every, double round_trip) {
    std::vector<synthetic_probe> probes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        probes[static_cast<size_t>(i)].round_trip = (i + 1) % drop_every == 0 ? -1 : round_trip;
    return probes;
}

run_description sample_description() {
    run_description d;
    d.program = "reboundcli";
    d.version = "9.8.7";
    d.host = "localhost";
    d.port = 33333;
    d.timeout = 0.5;
    d.count = 100;
    d.sendsize = d.recvsize = 64;
    d.interval = 0.001;
    return d;
}

} // namespace testsupport
