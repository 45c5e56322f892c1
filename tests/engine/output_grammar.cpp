#include "output_grammar.h"

#include <regex>

namespace grammar {
namespace {

const std::string T = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}(\.\d{6})?)";
const std::string ADDR = R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}:\d{1,5})";
const std::string CTR = R"(i=\d{6} S=\d{6} R=\d{6})";
const std::string ERR = R"(-?\d+:[^\n]*)";

struct Kind {
    const char* name;
    std::regex pattern;
};

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> table = [] {
        const std::vector<std::pair<const char*, std::string>> rows = {
            {"start1",
             R"(rebound_connect\(\): connaddr=create_sockaddrin\(AF_INET, ipaddr=.*, ipport=-?\d{1,5}\):)"},
            {"start2",
             R"(rebound_connect\(\): connaddr\.sin_addr\.s_addr=[0-9A-F]{8} \(\d+\.\d+\.\d+\.\d+\) connaddr\.sin_port=\d+)"},
            {"start3",
             R"(rebound_connect\(\): rebound_send\(void \*arg\):/rebound_recv\(void \*arg\):)"},
            {"wtimeout",
             T + R"( rebound_connect\(\):1 /\d{6}/\d{6}/\d{6}/ TIMEOUT: if \(result==0\) continue;)"},
            {"wsockerr",
             T + R"( rebound_connect\(\):1 /\d{6}/\d{6}/\d{6}/ SOCKERR: if \(result <0\) return  ;)"},
            {"dump",
             R"(rebound_connect\(\): buffdata=( \|[0-9A-F]{2}\|[0-9A-F]{2}\|[0-9A-F]{2}\|[0-9A-F]{2}\|){4})"},
            {"send", T + " rebound_connect\\(\\):1 " + CTR + R"( sendsize=udp_send\()" + ADDR +
                         R"(\): argssize=-?\d+ sendsize=-?\d+ time=\d+\.\d{6})"},
            {"sendfail",
             T + " rebound_send\\(\\):1 " + CTR +
                 R"( sendsize=udp_send\(\): sendsize=-?\d+ if \(sendsize<=0\): error=)" + ERR},
            {"rtimeout", T + " rebound_connect\\(\\):1 " + CTR +
                             R"( result=select\(\): TIMEOUT: if \(result==0\) continue;)"},
            {"rsockerr", T + " rebound_connect\\(\\):1 " + CTR +
                             R"( result=select\(\): SOCKERR: if \(result <0\) return  ;)"},
            {"recv1", T + " rebound_connect\\(\\):1 " + CTR + R"( sendsize=udp_recv\()" + ADDR +
                          R"(\): recvsize=-?\d+ iterpkts=(-\d{5,}|\d{6,}) time=\d+\.\d{6})"},
            {"recvfail1",
             T + " rebound_recv\\(\\):1 " + CTR +
                 R"( recvsize=udp_recv\(\): recvsize=-?\d+ if \(recvsize<=0\): error=)" + ERR},
            {"dtimeout",
             T + " rebound_connect\\(\\):2 " + CTR + R"( TIMEOUT: if \(result==0\) continue;)"},
            {"dsockerr",
             T + " rebound_connect\\(\\):2 " + CTR + R"( SOCKERR: if \(result <0\) return;)"},
            {"recv2", T + " rebound_connect\\(\\):2 " + CTR + R"( sendsize=udp_recv\()" + ADDR +
                          R"(\): recvsize=-?\d+ iterpkts=(-\d{5,}|\d{6,}))"},
            {"recvfail2",
             T + " rebound_connect\\(\\):2 " + CTR +
                 R"( recvsize=udp_recv\(\): recvsize=-?\d+ if \(recvsize<=0\): recvsize=)" + ERR},
            {"stat-difftime",
             R"(rebound_connect\(\): difftime=\d+\.\d{6} \[s\] \(\d+\.\d{6} - \d+\.\d{6}\))"},
            {"stat-sendpkts", R"(rebound_connect\(\): sendpkts=\d+)"},
            {"stat-recvpkts", R"(rebound_connect\(\): recvpkts=\d+)"},
            {"stat-iterpkts", R"(rebound_connect\(\): iterpkts\+1=-?\d+)"},
            {"stat-percent", R"(rebound_connect\(\): recvpkts/sendpkts=\d+\.\d{3}\[%\])"},
            {"stat-nosend", R"(rebound_connect\(\): sendpkts==0)"},
            {"listen1",
             R"(rebound_listen\(\): listaddr=create_sockaddrin\(AF_INET, ipaddr=.*, ipport=\d{1,5}\):)"},
            {"listen2",
             R"(rebound_connect\(\): connaddr\.sin_addr\.s_addr=[0-9A-F]{8} \(\d+\.\d+\.\d+\.\d+\) listaddr\.sin_port=\d+)"},
            {"lrecv", T + R"( rebound_listen\(\): \[\d{6}\] recvsize=udp_blockrecv\()" + ADDR +
                          R"(\): recvsize=-?\d+ iterpkts=(-\d{5,}|\d{6,}))"},
            {"lrecvfail",
             R"(rebound_listen\(\): recvsize=udp_blockrecv\(\): recvsize=-?\d+ if \(recvsize<=0\): recvsize=)" +
                 ERR},
            {"lsend", T + R"( rebound_listen\(\): \[\d{6}\] sendsize=udp_send\()" + ADDR +
                          R"(\): sendsize=-?\d+ iterpkts=(-\d{5,}|\d{6,}))"},
            {"lsendfail",
             R"(rebound_listen\(\): sendsize=udp_send\(\): sendsize=-?\d+ if \(sendsize<=0\): sendsize=)" +
                 ERR},
            {"lmismatch",
             R"(rebound_listen\(\): if \(recvsize!=sendsize\) recvsize=\d+ != sendsize=-?\d+)"},
        };
        std::vector<Kind> t;
        for (const auto& [name, re] : rows)
            t.push_back({name, std::regex(re)});
        return t;
    }();
    return table;
}

} // namespace

std::string kind_of(const std::string& line) {
    for (const auto& k : kinds())
        if (std::regex_match(line, k.pattern)) return k.name;
    return "";
}

std::vector<std::string> unmatched(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (kind_of(l).empty()) out.push_back(l);
    return out;
}

std::vector<std::string> of_kind(const std::vector<std::string>& lines, const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (kind_of(l) == kind) out.push_back(l);
    return out;
}

long field(const std::string& line, const std::string& name) {
    const std::regex re("(^|[ (])" + std::regex_replace(name, std::regex(R"([+])"), R"(\+)") +
                        "=(-?\\d+)");
    std::smatch m;
    if (!std::regex_search(line, m, re)) return -1;
    return std::stol(m[2]);
}

} // namespace grammar
