// rebounddns: one DNS question to a name server and the decoded reply, as dns_print_response
// prints it. Standard output carries the reply's lines only; errors go to standard error.
#include "address/address_text.h"
#include "dns/dns_print.h"
#include "dns/dns_query.h"
#include "net/socket.h"
#include "platform/stop_signals.h"
#include "tools/cli_app.h"
#include "tools/cli_args.h"
#include "tools/host_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr const char* kDescription =
    "Sends one DNS question for NAME to a name server (UDP port 53) and prints the decoded\n"
    "reply: the counts of its sections, then one line per record. With PTR, a dotted IPv4\n"
    "address as NAME is turned into its in-addr.arpa name.";

constexpr const char* kFooter =
    "The send and the reply may each take up to 5 seconds.\n"
    "Exit status: 0 when a reply was decoded, 1 when no reply came (time-out or send failure),\n"
    "2 for a bad command line, 3 for a broken reply (the records decoded before the fault\n"
    "are printed), 128+N when ended by signal N.";

constexpr double kTimeout = 5.0;
// Exit statuses besides 0, kExitUsage and 128+N.
constexpr int kExitNoReply = 1;
constexpr int kExitBrokenReply = 3;

struct NamedType {
    const char* name;
    int type;
};
constexpr NamedType kTypes[] = {
    {"A", DNS_TYPE_A}, {"NS", DNS_TYPE_NS}, {"CNAME", DNS_TYPE_CNAME}, {"PTR", DNS_TYPE_PTR}};

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
    CLI::App app{kDescription, "rebounddns"};
    init_app(app, kFooter);
    std::string name;
    std::string server_text = "127.0.0.1";
    std::string type_text = "A";
    app.add_option("NAME", name, "the name to look up (with PTR, a dotted address may stand)")
        ->required()
        ->type_name("");
    app.add_option("SERVER", server_text, "name server, IPv4 address or host (default 127.0.0.1)")
        ->type_name("");
    app.add_option("TYPE", type_text, "A, NS, CNAME, PTR or a type number 0..65535 (default A)")
        ->type_name("");
    if (const int status = parse_command_line(app, argc, argv); status >= 0) return status;

    const std::string program = "rebounddns";
    if (std::any_of(name.begin(), name.end(), is_control_char))
        return usage_error(program, "name " + quoted_text(name) + " holds control characters");
    const host_address server = resolve_host_text(server_text);
    if (server.address.empty()) return usage_error(program, "server: " + server.error);
    const int type = type_of(type_text);
    if (type < 0)
        return usage_error(program, "type " + quoted_text(type_text) +
                                        " is not A, NS, CNAME, PTR or a number from 0 to 65535");
    uint8_t raw[4];
    if (type == DNS_TYPE_PTR && text_to_addr(AF_INET, name.c_str(), raw) == 1) {
        char reversed[48];
        name = reverse_name(name.c_str(), reversed, sizeof reversed);
    }
    const std::string& server_address = server.address;

    plat::install_stop_signals();
    static dns_response response; // 230 kB: kept off the stack
    const int result =
        dns_query(type, DNS_CLASS_IN, name.c_str(), server_address.c_str(), &response, kTimeout);
    if (plat::stop_requested()) {
        std::fflush(stdout);
        return 128 + plat::stop_requested();
    }
    if (result == 1) {
        dns_print_response(&response);
        std::fflush(stdout);
        // A reader that left (SIGPIPE) stops the program as any stop signal does.
        return plat::stop_requested() ? 128 + plat::stop_requested() : 0;
    }
    if (result == DNSERR_BAD_NAME)
        return usage_error(program, "name " + quoted_text(name) + ": " + dns_error_text(result));
    if (result == -1 || result == SOCKERR_FAIL) {
        std::fprintf(stderr,
                     "rebounddns: no reply from %s: the query could not be sent or no reply "
                     "came within %g seconds\n",
                     server_address.c_str(), kTimeout);
        return kExitNoReply;
    }
    // Every other result is a reply that broke a bound of the decoder.
    dns_print_response(&response);
    std::fflush(stdout);
    std::fprintf(stderr, "rebounddns: broken reply from %s: %s\n", server_address.c_str(),
                 dns_error_text(result));
    return kExitBrokenReply;
}
