#include "tests/support/output_grammar.h"

#include "engine/line_kinds.h"

#include <cstring>
#include <regex>
#include <stdexcept>

namespace grammar {
namespace {

const std::string T = R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}(\.\d{6})?)";

// An endpoint: a dotted IPv4 address or a bracketed IPv6 one (with its zone), and the port.
const std::string kIpv4Endpoint = R"((\d{1,3}\.){3}\d{1,3}:\d{1,5})";
const std::string kIpv6Endpoint = R"(\[[0-9a-f:.]+(%[\w.-]+)?\]:\d{1,5})";

// The pattern of a printf conversion as the printer uses it.
std::string conversion_pattern(const std::string& spec) {
    static const std::vector<std::pair<std::string, std::string>> table = {
        {"%s", ".*"},
        {"%d", R"(-?\d+)"},
        {"%06d", R"((-\d{5,}|\d{6,}))"},
        {"%08X", "[0-9A-F]{8}"},
        {"%02X", "[0-9A-F]{2}"},
        {"%.6f", R"(\d+\.\d{6})"},
        {"%f", R"(-?\d+\.\d{6})"},
        {"%05.3f", R"(\d+\.\d{3})"},
        {"%%", "%"},
        {REBOUND_LINE_ENDPOINT, "(" + kIpv4Endpoint + "|" + kIpv6Endpoint + ")"},
    };
    for (const auto& [conv, re] : table)
        if (conv == spec) return re;
    throw std::runtime_error("line table uses an unknown conversion " + spec);
}

// A line's printf format turned into a regular expression for the whole line.
std::string pattern_of(const line_spec& spec) {
    std::string f = spec.format;
    if (!f.empty() && f.back() == '\n') f.pop_back();
    std::string re;
    size_t i = 0;
    if (spec.timed) {
        re = T;
        i = 2; // the leading "%s" is the time text
    }
    while (i < f.size()) {
        if (f[i] == '%') {
            size_t j = i + 1;
            while (j < f.size() && std::strchr("0123456789.", f[j]))
                ++j;
            re += conversion_pattern(f.substr(i, j - i + 1));
            i = j + 1;
            continue;
        }
        if (std::strchr("()[]{}.*+?|^$\\/", f[i])) re += '\\';
        re += f[i++];
    }
    return re;
}

struct Kind {
    std::string name;
    std::regex pattern;
};

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> table = [] {
        std::vector<Kind> t;
        for (const line_spec& spec : line_specs())
            t.push_back({spec.name, std::regex(pattern_of(spec))});
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

std::string endpoint_family(const std::string& line) {
    static const std::regex v4("[ (]" + kIpv4Endpoint + "[) ]");
    static const std::regex v6("[ (]" + kIpv6Endpoint + "[) ]");
    const bool four = std::regex_search(line, v4);
    const bool six = std::regex_search(line, v6);
    if (four == six) return "";
    return four ? "ipv4" : "ipv6";
}

long field(const std::string& line, const std::string& name) {
    const std::regex re("(^|[ (])" + std::regex_replace(name, std::regex(R"([+])"), R"(\+)") +
                        "=(-?\\d+)");
    std::smatch m;
    if (!std::regex_search(line, m, re)) return -1;
    return std::stol(m[2]);
}

} // namespace grammar
