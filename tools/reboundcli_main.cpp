// reboundcli: one round-trip measurement from the command line. Standard output carries the
// measurement's event lines and nothing else, line by line as they happen.
#include "engine/line_printer.h"
#include "engine/round_trip_client.h"
#include "platform/stop_signals.h"
#include "tools/cli_args.h"
#include "tools/run_progress.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kOutputBuffer = 1 << 16;

constexpr const char* kUsage =
    "Usage: reboundcli [-h HOST] [-p PORT] [-t SECONDS] [-c COUNT] [--sendsize=N] [--recvsize=N]\n"
    "\n"
    "Sends COUNT UDP probes to an echo responder (reboundsrv) and prints one line per event:\n"
    "every send, every echo with its round-trip time, time-outs, and closing statistics.\n"
    "\n"
    "  -h, --host HOST     responder's IPv4 address, dotted decimal (default 127.0.0.1)\n"
    "  -p, --port PORT     responder's UDP port, 1..65535 (default 33333)\n"
    "  -t, --timeout SEC   limit of every single wait, in seconds (default 0.1)\n"
    "  -c, --count N       number of probes to send (default 100)\n"
    "      --sendsize=N    bytes per probe, 0..65536 (default 8192)\n"
    "      --recvsize=N    echo size to ask for, 0..65536 (default 8192)\n"
    "      --help          show this text\n"
    "      --version       show the version\n"
    "\n"
    "Exit status: 0 after a complete run, 1 when a wait failed and the run ended early,\n"
    "2 for a bad command line, 128+N when ended by signal N.\n";

struct Settings {
    std::string host = "127.0.0.1";
    int32_t port = 33333;
    double timeout = 0.1;
    int32_t count = 100;
    int32_t sendsize = 8192;
    int32_t recvsize = 8192;
};

const ProgramInfo kProgram{"reboundcli", kUsage};

// Parses argv into *s; returns -1 to go on, else the exit status.
int parse(int argc, char** argv, Settings* s) {
    struct IntOption {
        const char* short_name;
        const char* long_name;
        int32_t* target;
        int64_t min, max;
    };
    const IntOption ints[] = {
        {"-p", "--port", &s->port, 1, 65535},
        {"-c", "--count", &s->count, 0, INT32_MAX},
        {"", "--sendsize", &s->sendsize, 0, 65536},
        {"", "--recvsize", &s->recvsize, 0, 65536},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (auto status = help_or_version(arg, kProgram)) return *status;
        bool missing = false;
        if (auto v = option_value(argc, argv, &i, "-h", "--host", &missing)) {
            s->host = std::string(*v);
            if (!is_host_address(s->host))
                return usage_error(kProgram, "host '" + s->host +
                                                 "' is not an IPv4 address (dotted decimal)");
            continue;
        }
        if (auto v = option_value(argc, argv, &i, "-t", "--timeout", &missing)) {
            auto t = parse_seconds(*v);
            if (!t)
                return usage_error(kProgram, "timeout '" + std::string(*v) +
                                                 "' is not a number of seconds from 0 to 86400");
            s->timeout = *t;
            continue;
        }
        bool matched = false;
        for (const auto& o : ints) {
            auto v = option_value(argc, argv, &i, o.short_name, o.long_name, &missing);
            if (!v) {
                if (missing) break;
                continue;
            }
            auto n = parse_int(*v, o.min, o.max);
            if (!n)
                return usage_error(kProgram, std::string(o.long_name + 2) + " '" + std::string(*v) +
                                                 "' is not a whole number from " +
                                                 std::to_string(o.min) + " to " +
                                                 std::to_string(o.max));
            *o.target = *n;
            matched = true;
            break;
        }
        if (missing)
            return usage_error(kProgram, "option '" + std::string(arg) + "' needs a value");
        if (!matched) return usage_error(kProgram, "unknown argument '" + std::string(arg) + "'");
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    // Fully buffered: the line printer flushes when a wait is over, not inside a round trip.
    std::setvbuf(stdout, nullptr, _IOFBF, kOutputBuffer);
    Settings s;
    if (const int status = parse(argc, argv, &s); status >= 0) return status;

    plat::install_stop_signals();
    static rebound_info record; // 160 kB: kept off the stack
    // The bar goes to standard error only: standard output keeps exactly the event lines.
    RunProgress bar(stderr);
    line_printer lines(stdout);
    rebound_observers observers{&lines};
    if (run_progress_wanted()) observers.add(&bar);
    rebound_params params;
    params.ipaddr = s.host.c_str();
    params.ipport = s.port;
    params.timeout = s.timeout;
    params.count = s.count;
    params.sendsize = s.sendsize;
    params.recvsize = s.recvsize;
    const rebound_end end = rebound_run(params, &record, observers);
    std::fflush(stdout);
    bar.finish();
    switch (end) {
    case rebound_end::normal:
        return 0;
    case rebound_end::early:
        return 1;
    case rebound_end::stopped:
        return 128 + plat::stop_requested();
    }
    return 1;
}
