// rebounddns: one DNS question to a name server and the decoded reply, as dns_print_response
// prints it. Standard output carries the reply's lines only; errors go to standard error.
#include "net/socket.h"
#include "platform/stop_signals.h"
#include "tools/cli_args.h"
#include "util/address_text.h"
#include "util/dns_print.h"
#include "util/dns_query.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: rebounddns NAME [SERVER] [TYPE]\n"
    "\n"
    "Sends one DNS question for NAME to a name server (UDP port 53) and prints the decoded\n"
    "reply: the counts of its sections, then one line per record.\n"
    "\n"
    "  NAME     the name to look up; with PTR a dotted IPv4 address is turned into its\n"
    "           in-addr.arpa name\n"
    "  SERVER   the name server's IPv4 address, dotted decimal (default 127.0.0.1)\n"
    "  TYPE     A, NS, CNAME, PTR or a record type number 0..65535 (default A)\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "The send and the reply may each take up to 5 seconds.\n"
    "Exit status: 0 when a reply was decoded, 1 when no reply came (time-out or send failure),\n"
    "2 for a bad command line, 3 for a broken reply (the records decoded before the fault\n"
    "are printed), 128+N when ended by signal N.\n";

constexpr double kTimeout = 5.0;
constexpr int kClassInternet = 1;
constexpr int kTypePtr = 12;

struct NamedType {
    const char* name;
    int type;
};
constexpr NamedType kTypes[] = {{"A", 1}, {"NS", 2}, {"CNAME", 5}, {"PTR", kTypePtr}};

const ProgramInfo kProgram{"rebounddns", kUsage};

int type_of(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& t : kTypes)
        if (upper == t.name) return t.type;
    const auto n = parse_int(text, 0, 65535);
    return n ? *n : -1;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (auto a : args) {
        if (auto status = help_or_version(a, kProgram)) return *status;
    }
    if (args.empty()) return usage_error(kProgram, "a NAME to look up is needed");
    if (args.size() > 3) return usage_error(kProgram, "too many arguments");

    std::string name(args[0]);
    const std::string server(args.size() > 1 ? args[1] : "127.0.0.1");
    uint8_t raw[4];
    if (text_to_addr(AF_INET, server.c_str(), raw) != 1)
        return usage_error(kProgram, "server '" + server + "' is not a dotted IPv4 address");
    const int type = args.size() > 2 ? type_of(args[2]) : 1;
    if (type < 0)
        return usage_error(kProgram, "type '" + std::string(args[2]) +
                                         "' is not A, NS, CNAME, PTR or a number from 0 to 65535");
    if (type == kTypePtr && text_to_addr(AF_INET, name.c_str(), raw) == 1) {
        char reversed[48];
        name = reverse_name(name.c_str(), reversed, sizeof reversed);
    }

    plat::install_stop_signals();
    static dns_response response; // 230 kB: kept off the stack
    const int result =
        dns_query(type, kClassInternet, name.c_str(), server.c_str(), &response, kTimeout);
    if (plat::stop_requested()) {
        std::fflush(stdout);
        return 128 + plat::stop_requested();
    }
    if (result == 1) {
        dns_print_response(&response);
        std::fflush(stdout);
        return 0;
    }
    if (result == DNSERR_BAD_NAME)
        return usage_error(kProgram, "name '" + name + "': " + dns_error_text(result));
    if (result == -1 || result == SOCKERR_FAIL) {
        std::fprintf(stderr,
                     "rebounddns: no reply from %s: the query could not be sent or no reply "
                     "came within %g seconds\n",
                     server.c_str(), kTimeout);
        return 1;
    }
    // Every other result is a reply that broke a bound of the decoder.
    dns_print_response(&response);
    std::fflush(stdout);
    std::fprintf(stderr, "rebounddns: broken reply from %s: %s\n", server.c_str(),
                 dns_error_text(result));
    return 3;
}
