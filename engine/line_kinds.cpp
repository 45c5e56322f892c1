#include "engine/line_kinds.h"

#include <array>

namespace {

// The counters every timed client line of a phase carries after the function name.
#define REBOUND_CTR "i=%06d S=%06d R=%06d"
#define REBOUND_ADDR REBOUND_LINE_ENDPOINT

constexpr std::array kSpecs = {
    line_spec{line_kind::start_address_text, "start1",
              "rebound_connect(): connaddr=create_sockaddrin(AF_INET, ipaddr=%s, ipport=%s):\n",
              false},
    line_spec{line_kind::start_address, "start2",
              "rebound_connect(): connaddr.sin_addr.s_addr=%08X (%d.%d.%d.%d) "
              "connaddr.sin_port=%d\n",
              false},
    line_spec{line_kind::start_address_text6, "start1v6",
              "rebound_connect(): connaddr=create_sockaddrin6(AF_INET6, ipaddr=%s, ipport=%s):\n",
              false},
    line_spec{line_kind::start_address6, "start2v6",
              "rebound_connect(): connaddr.sin6_addr=%s connaddr.sin6_port=%d\n", false},
    line_spec{line_kind::start_socket, "start3",
              "rebound_connect(): rebound_send(void *arg):/rebound_recv(void *arg):\n", false},
    line_spec{line_kind::send_wait_timeout, "wtimeout",
              "%s rebound_connect():1 /%06d/%06d/%06d/ TIMEOUT: if (result==0) continue;\n", true},
    line_spec{line_kind::send_wait_error, "wsockerr",
              "%s rebound_connect():1 /%06d/%06d/%06d/ SOCKERR: if (result <0) return  ;\n", true},
    line_spec{line_kind::probe_dump, "dump",
              "rebound_connect(): buffdata= |%02X|%02X|%02X|%02X| |%02X|%02X|%02X|%02X| "
              "|%02X|%02X|%02X|%02X| |%02X|%02X|%02X|%02X|\n",
              false},
    line_spec{line_kind::send, "send",
              "%s rebound_connect():1 " REBOUND_CTR " sendsize=udp_send(" REBOUND_ADDR
              "): argssize=%d sendsize=%d time=%.6f\n",
              true},
    line_spec{line_kind::send_failed, "sendfail",
              "%s rebound_send():1 " REBOUND_CTR
              " sendsize=udp_send(): sendsize=%d if (sendsize<=0): error=%d:%s\n",
              true},
    line_spec{line_kind::echo_wait_timeout, "rtimeout",
              "%s rebound_connect():1 " REBOUND_CTR
              " result=select(): TIMEOUT: if (result==0) continue;\n",
              true},
    line_spec{line_kind::echo_wait_error, "rsockerr",
              "%s rebound_connect():1 " REBOUND_CTR
              " result=select(): SOCKERR: if (result <0) return  ;\n",
              true},
    line_spec{line_kind::echo, "recv1",
              "%s rebound_connect():1 " REBOUND_CTR " sendsize=udp_recv(" REBOUND_ADDR
              "): recvsize=%d iterpkts=%06d time=%.6f\n",
              true},
    line_spec{line_kind::echo_failed, "recvfail1",
              "%s rebound_recv():1 " REBOUND_CTR
              " recvsize=udp_recv(): recvsize=%d if (recvsize<=0): error=%d:%s\n",
              true},
    line_spec{line_kind::drain_timeout, "dtimeout",
              "%s rebound_connect():2 " REBOUND_CTR " TIMEOUT: if (result==0) continue;\n", true},
    line_spec{line_kind::drain_error, "dsockerr",
              "%s rebound_connect():2 " REBOUND_CTR " SOCKERR: if (result <0) return;\n", true},
    line_spec{line_kind::drained_echo, "recv2",
              "%s rebound_connect():2 " REBOUND_CTR " sendsize=udp_recv(" REBOUND_ADDR
              "): recvsize=%d iterpkts=%06d\n",
              true},
    line_spec{line_kind::drained_echo_failed, "recvfail2",
              "%s rebound_connect():2 " REBOUND_CTR
              " recvsize=udp_recv(): recvsize=%d if (recvsize<=0): recvsize=%d:%s\n",
              true},
    line_spec{line_kind::stat_difftime, "stat-difftime",
              "rebound_connect(): difftime=%f [s] (%f - %f)\n", false},
    line_spec{line_kind::stat_sendpkts, "stat-sendpkts", "rebound_connect(): sendpkts=%d\n", false},
    line_spec{line_kind::stat_recvpkts, "stat-recvpkts", "rebound_connect(): recvpkts=%d\n", false},
    line_spec{line_kind::stat_iterpkts, "stat-iterpkts", "rebound_connect(): iterpkts+1=%d\n",
              false},
    line_spec{line_kind::stat_percent, "stat-percent",
              "rebound_connect(): recvpkts/sendpkts=%05.3f[%%]\n", false},
    line_spec{line_kind::stat_nothing_sent, "stat-nosend", "rebound_connect(): sendpkts==0\n",
              false},
    line_spec{line_kind::listen_address_text, "listen1",
              "rebound_listen(): listaddr=create_sockaddrin(AF_INET, ipaddr=%s, ipport=%s):\n",
              false},
    line_spec{line_kind::listen_address, "listen2",
              "rebound_connect(): connaddr.sin_addr.s_addr=%08X (%d.%d.%d.%d) "
              "listaddr.sin_port=%d\n",
              false},
    line_spec{line_kind::listen_address_text6, "listen1v6",
              "rebound_listen(): listaddr=create_sockaddrin6(AF_INET6, ipaddr=%s, ipport=%s):\n",
              false},
    line_spec{line_kind::listen_address6, "listen2v6",
              "rebound_connect(): connaddr.sin6_addr=%s listaddr.sin6_port=%d\n", false},
    line_spec{line_kind::listen_received, "lrecv",
              "%s rebound_listen(): [%06d] recvsize=udp_blockrecv(" REBOUND_ADDR
              "): recvsize=%d iterpkts=%06d\n",
              true},
    line_spec{line_kind::listen_receive_failed, "lrecvfail",
              "rebound_listen(): recvsize=udp_blockrecv(): recvsize=%d if (recvsize<=0): "
              "recvsize=%d:%s\n",
              false},
    line_spec{line_kind::listen_sent, "lsend",
              "%s rebound_listen(): [%06d] sendsize=udp_send(" REBOUND_ADDR
              "): sendsize=%d iterpkts=%06d\n",
              true},
    line_spec{line_kind::listen_send_failed, "lsendfail",
              "rebound_listen(): sendsize=udp_send(): sendsize=%d if (sendsize<=0): "
              "sendsize=%d:%s\n",
              false},
    line_spec{line_kind::listen_size_mismatch, "lmismatch",
              "rebound_listen(): if (recvsize!=sendsize) recvsize=%d != sendsize=%d\n", false},
};

#undef REBOUND_CTR
#undef REBOUND_ADDR

constexpr bool in_enum_order() {
    for (size_t i = 0; i < kSpecs.size(); ++i)
        if (static_cast<size_t>(kSpecs[i].kind) != i) return false;
    return true;
}
static_assert(in_enum_order(), "line table rows must follow the order of line_kind");
static_assert(int(line_kind::start_address6) - int(line_kind::start_address) == kIpv6RowOffset &&
                  int(line_kind::listen_address_text6) - int(line_kind::listen_address_text) ==
                      kIpv6RowOffset,
              "each IPv6 start line sits kIpv6RowOffset rows after its IPv4 one");
static_assert(kSpecs.size() == static_cast<size_t>(line_kind::listen_size_mismatch) + 1,
              "every line kind has a row");

} // namespace

std::span<const line_spec> line_specs() {
    return kSpecs;
}

const line_spec& line_spec_of(line_kind kind) {
    return kSpecs[static_cast<size_t>(kind)];
}
