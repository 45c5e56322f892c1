#include "engine/round_trip_client.h"

#include "engine/line_format.h"
#include "engine/probe_header.h"
#include "net/options.h"
#include "net/readiness.h"
#include "platform/clock.h"
#include "platform/stop_signals.h"
#include "util/sockaddr.h"
#include "util/timestamp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

enum class Wait { ready, timed_out, failed, stopped };

// One select-style wait on the run's socket; interrupted waits are repeated with the same
// limit unless the interruption was a request to stop.
Wait wait_for(int sock, plat::Readiness want, double timeout) {
    const int r = net_detail::wait_ready(sock, want, sock_timeval(timeout));
    if (r > 0) return Wait::ready;
    if (r == 0) return Wait::timed_out;
    return plat::stop_requested() ? Wait::stopped : Wait::failed;
}

using plat::kReadable;
using plat::kWritable;

// A transfer result with the errno of the call that produced it, captured before any printing.
struct Transfer {
    int result;
    int error; // 0 unless the call failed
};

Transfer send_probe(int sock, const unsigned char* buf, int32_t sendsize, const sockaddr_in& to) {
    // Never more than the buffer holds, whatever sendsize says.
    const int len = sendsize < kTransferBufferSize ? sendsize : kTransferBufferSize;
    int r;
    do {
        r = plat::sendto(sock, buf, len, 0, reinterpret_cast<const sockaddr*>(&to),
                         plat::kInetAddrLen);
    } while (r < 0 && errno == EAGAIN);
    return {r, r < 0 ? errno : 0};
}

Transfer receive_echo(int sock, unsigned char* buf, sockaddr_in* from) {
    int r;
    do {
        int fromlen = plat::kInetAddrLen;
        r = plat::recvfrom(sock, buf, kTransferBufferSize, 0, reinterpret_cast<sockaddr*>(from),
                           &fromlen);
    } while (r < 0 && errno == EAGAIN);
    return {r, r < 0 ? errno : 0};
}

bool in_record(int32_t index) {
    return index >= 0 && index < REBOUND_MAXPKTS;
}

class Run {
  public:
    Run(double timeout, rebound_info* info) : timeout_(timeout), info_(info) {}

    rebound_end measure(const char* ipaddr, int32_t ipport, int32_t count, int32_t sendsize,
                        int32_t recvsize, const rebound_progress* progress);

  private:
    rebound_end phase1_iteration(int32_t i, int32_t sendsize, int32_t recvsize, bool* abort);
    rebound_end drain(bool* abort);
    void statistics(double start);

    double timeout_;
    rebound_info* info_;
    int sock_ = -1;
    sockaddr_in connaddr_{};
    sockaddr_in from_{};
    char tt_[kTimeTextSize] = {};
    unsigned char buf_[kTransferBufferSize];
};

rebound_end Run::phase1_iteration(int32_t i, int32_t sendsize, int32_t recvsize, bool* abort) {
    auto& r = *info_;
    double t0 = get_timestamp();
    switch (wait_for(sock_, kWritable, timeout_)) {
    case Wait::timed_out:
        std::printf("%s rebound_connect():1 /%06d/%06d/%06d/ TIMEOUT: if (result==0) continue;\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts);
        return rebound_end::normal;
    case Wait::failed:
        std::printf("%s rebound_connect():1 /%06d/%06d/%06d/ SOCKERR: if (result <0) return  ;\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts);
        *abort = true;
        return rebound_end::early;
    case Wait::stopped:
        *abort = true;
        return rebound_end::stopped;
    case Wait::ready:
        break;
    }

    unsigned char* b = buf_;
    std::memset(b, 0, kTransferBufferSize);
    r.iterpkts = i;
    pkthdr_set(b, PKTHDR_SEQ, static_cast<uint32_t>(i));
    pkthdr_set(b, PKTHDR_SENDSIZE, static_cast<uint32_t>(sendsize));
    pkthdr_set(b, PKTHDR_RECVSIZE, static_cast<uint32_t>(recvsize));
    std::printf("rebound_connect(): buffdata= |%02X|%02X|%02X|%02X| |%02X|%02X|%02X|%02X| "
                "|%02X|%02X|%02X|%02X| |%02X|%02X|%02X|%02X|\n",
                b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                b[13], b[14], b[15]);

    const Transfer sent = send_probe(sock_, b, sendsize, connaddr_);
    const double send_time = get_timestamp() - t0;
    if (in_record(i)) r.sendtime[i] = send_time;
    const AddrParts to = addr_parts(connaddr_);
    std::printf("%s rebound_connect():1 i=%06d S=%06d R=%06d sendsize=udp_send(%d.%d.%d.%d:%d): "
                "argssize=%d sendsize=%d time=%.6f\n",
                time_text(tt_), i, r.sendpkts, r.recvpkts, to.a, to.b, to.c, to.d, to.port,
                sendsize, sent.result, send_time);
    if (sent.result <= 0)
        std::printf("%s rebound_send():1 i=%06d S=%06d R=%06d sendsize=udp_send(): sendsize=%d "
                    "if (sendsize<=0): error=%d:%s\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts, sent.result, sent.error,
                    std::strerror(sent.error));
    else
        ++r.sendpkts;

    // The round trip is timed from here, after the send line is printed.
    t0 = get_timestamp();
    switch (wait_for(sock_, kReadable, timeout_)) {
    case Wait::timed_out:
        std::printf("%s rebound_connect():1 i=%06d S=%06d R=%06d result=select(): TIMEOUT: if "
                    "(result==0) continue;\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts);
        return rebound_end::normal;
    case Wait::failed:
        std::printf("%s rebound_connect():1 i=%06d S=%06d R=%06d result=select(): SOCKERR: if "
                    "(result <0) return  ;\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts);
        *abort = true;
        return rebound_end::early;
    case Wait::stopped:
        *abort = true;
        return rebound_end::stopped;
    case Wait::ready:
        break;
    }

    const Transfer got = receive_echo(sock_, b, &from_);
    r.iterpkts = static_cast<int32_t>(pkthdr_get(b, PKTHDR_SEQ));
    const double round_trip = get_timestamp() - t0;
    if (in_record(r.iterpkts)) r.recvtime[r.iterpkts] = round_trip;
    const AddrParts src = addr_parts(from_);
    std::printf("%s rebound_connect():1 i=%06d S=%06d R=%06d sendsize=udp_recv(%d.%d.%d.%d:%d): "
                "recvsize=%d iterpkts=%06d time=%.6f\n",
                time_text(tt_), i, r.sendpkts, r.recvpkts, src.a, src.b, src.c, src.d, src.port,
                got.result, r.iterpkts, round_trip);
    if (got.result <= 0) {
        std::printf("%s rebound_recv():1 i=%06d S=%06d R=%06d recvsize=udp_recv(): recvsize=%d "
                    "if (recvsize<=0): error=%d:%s\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts, got.result, got.error,
                    std::strerror(got.error));
        return rebound_end::normal;
    }
    ++r.recvpkts;
    plat::sleep_ms(1);
    return rebound_end::normal;
}

rebound_end Run::drain(bool* abort) {
    auto& r = *info_;
    for (int32_t i = r.recvpkts; i < r.sendpkts; ++i) {
        switch (wait_for(sock_, kReadable, timeout_)) {
        case Wait::timed_out:
            std::printf("%s rebound_connect():2 i=%06d S=%06d R=%06d TIMEOUT: if (result==0) "
                        "continue;\n",
                        time_text(tt_), i, r.sendpkts, r.recvpkts);
            return rebound_end::normal;
        case Wait::failed:
            std::printf("%s rebound_connect():2 i=%06d S=%06d R=%06d SOCKERR: if (result <0) "
                        "return;\n",
                        time_text(tt_), i, r.sendpkts, r.recvpkts);
            *abort = true;
            return rebound_end::early;
        case Wait::stopped:
            *abort = true;
            return rebound_end::stopped;
        case Wait::ready:
            break;
        }
        unsigned char* b = buf_;
        const Transfer got = receive_echo(sock_, b, &from_);
        r.iterpkts = static_cast<int32_t>(pkthdr_get(b, PKTHDR_SEQ));
        const AddrParts src = addr_parts(from_);
        std::printf("%s rebound_connect():2 i=%06d S=%06d R=%06d sendsize=udp_recv(%d.%d.%d.%d:%d):"
                    " recvsize=%d iterpkts=%06d\n",
                    time_text(tt_), i, r.sendpkts, r.recvpkts, src.a, src.b, src.c, src.d, src.port,
                    got.result, r.iterpkts);
        if (got.result <= 0)
            std::printf("%s rebound_connect():2 i=%06d S=%06d R=%06d recvsize=udp_recv(): "
                        "recvsize=%d if (recvsize<=0): recvsize=%d:%s\n",
                        time_text(tt_), i, r.sendpkts, r.recvpkts, got.result, got.error,
                        std::strerror(got.error));
        else
            ++r.recvpkts;
    }
    return rebound_end::normal;
}

void Run::statistics(double start) {
    auto& r = *info_;
    const double end = get_timestamp();
    r.difftime = end - start;
    std::printf("rebound_connect(): difftime=%f [s] (%f - %f)\n", r.difftime, end, start);
    std::printf("rebound_connect(): sendpkts=%d\n", r.sendpkts);
    std::printf("rebound_connect(): recvpkts=%d\n", r.recvpkts);
    std::printf("rebound_connect(): iterpkts+1=%d\n", r.iterpkts + 1);
    if (r.sendpkts > 0)
        std::printf("rebound_connect(): recvpkts/sendpkts=%05.3f[%%]\n",
                    r.recvpkts * 100.0 / r.sendpkts);
    else
        std::puts("rebound_connect(): sendpkts==0");
}

rebound_end Run::measure(const char* ipaddr, int32_t ipport, int32_t count, int32_t sendsize,
                         int32_t recvsize, const rebound_progress* progress) {
    char port_text[6] = {};
    std::snprintf(port_text, sizeof port_text, "%d", ipport);
    std::printf("rebound_connect(): connaddr=create_sockaddrin(AF_INET, ipaddr=%s, ipport=%s):\n",
                ipaddr ? ipaddr : "(null)", port_text);
    connaddr_ = create_sockaddrin(AF_INET, ipaddr, port_text);
    print_address_line(connaddr_, "connaddr.sin_port");

    // A failed creation is not tested here: the first wait fails on the invalid handle and
    // ends the run through its SOCKERR line.
    sock_ = udp_create(AF_INET);
    const double start = get_timestamp();
    std::puts("rebound_connect(): rebound_send(void *arg):/rebound_recv(void *arg):");

    bool abort = false;
    rebound_end end = rebound_end::normal;
    for (int32_t i = 0; i < count && !abort; ++i) {
        end = phase1_iteration(i, sendsize, recvsize, &abort);
        if (progress && progress->on_iteration)
            progress->on_iteration(progress->context, i + 1, count);
    }
    if (!abort && info_->sendpkts > info_->recvpkts) end = drain(&abort);
    if (!abort) statistics(start);
    if (sock_ >= 0) sock_close(sock_);
    return end;
}

} // namespace

rebound_end rebound_connect(const char* ipaddr, int32_t ipport, double timeout, int32_t count,
                            int32_t sendsize, int32_t recvsize, rebound_info* reboundinfo,
                            const rebound_progress* progress) {
    std::memset(reboundinfo, 0, sizeof *reboundinfo);
    Run run(timeout, reboundinfo);
    return run.measure(ipaddr, ipport, count, sendsize, recvsize, progress);
}
