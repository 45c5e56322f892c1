// reboundsrv: the echo responder as a program. Runs until SIGINT or SIGTERM.
#include "engine/echo_responder.h"
#include "platform/socket_errors.h"
#include "platform/stop_signals.h"
#include "tools/cli_args.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: reboundsrv [-h ADDRESS] [-p PORT]\n"
    "\n"
    "Answers every UDP probe of reboundcli with an echo of the size the probe asks for and\n"
    "prints one line per received and per sent datagram. Runs until interrupted.\n"
    "\n"
    "  -h, --host ADDRESS  local IPv4 address to bind to (default: every address, 0.0.0.0)\n"
    "  -p, --port PORT     local UDP port, 1..65535 (default 33333)\n"
    "      --help          show this text\n"
    "      --version       show the version\n"
    "\n"
    "Exit status: 0 when stopped by SIGINT/SIGTERM, 1 when the socket cannot be bound,\n"
    "2 for a bad command line.\n";

const ProgramInfo kProgram{"reboundsrv", kUsage};

} // namespace

int main(int argc, char** argv) {
    // Standard output stays block-buffered: the responder flushes it whenever it is idle.
    std::string host;
    int32_t port = 33333;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (auto status = help_or_version(arg, kProgram)) return *status;
        bool missing = false;
        if (auto v = option_value(argc, argv, &i, "-h", "--host", &missing)) {
            host = std::string(*v);
            if (!is_host_address(host))
                return usage_error(kProgram,
                                   "host '" + host + "' is not an IPv4 address (dotted decimal)");
        } else if (auto p = option_value(argc, argv, &i, "-p", "--port", &missing)) {
            auto n = parse_int(*p, 1, 65535);
            if (!n)
                return usage_error(kProgram, "port '" + std::string(*p) +
                                                 "' is not a number from 1 to 65535");
            port = *n;
        } else if (missing) {
            return usage_error(kProgram, "option '" + std::string(arg) + "' needs a value");
        } else {
            return usage_error(kProgram, "unknown argument '" + std::string(arg) + "'");
        }
    }

    plat::install_stop_signals();
    const int32_t result = rebound_listen(host.c_str(), port);
    std::fflush(stdout);
    if (result < 0) {
        const std::string text = plat::error_text(errno);
        std::fprintf(stderr, "reboundsrv: cannot serve on %s:%d: %s (result %d)\n",
                     host.empty() ? "0.0.0.0" : host.c_str(), port, text.c_str(), result);
        return 1;
    }
    return 0;
}
