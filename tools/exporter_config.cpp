#include "tools/exporter_config.h"

#include "address/net_address.h"
#include "engine/probe_header.h"
#include "tools/cli_app.h"
#include "tools/cli_args.h"
#include "tools/host_text.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace {

constexpr int64_t kLargestDatagram = 65507; // UDP over IPv4
constexpr int64_t kLastDscp = 63;
constexpr double kLongestPeriod = 86400.0;
// The file is a list of targets: a larger one is a mistake (or not a configuration at all).
constexpr off_t kLargestFile = 16 * 1024 * 1024;
// Labels the exporter sets itself, or that the formats keep for their own use.
const std::set<std::string> kReservedLabels = {"target", "name", "le", "quantile", "job",
                                               "instance"};

// A fault at a node: thrown while reading, turned into the message.
struct config_fault {
    YAML::Mark mark;
    std::string what;
};

[[noreturn]] void fault(const YAML::Node& at, const std::string& what) {
    throw config_fault{at.Mark(), what};
}

std::string where(const std::string& source, const YAML::Mark& m) {
    if (m.is_null()) return source;
    return source + ":" + std::to_string(m.line + 1);
}

std::string scalar(const YAML::Node& n, const std::string& key) {
    if (!n.IsScalar()) fault(n, quoted_text(key) + " must be a single value");
    return n.Scalar();
}

double seconds_value(const YAML::Node& n, const std::string& key, bool zero_allowed) {
    const auto v = parse_seconds(scalar(n, key));
    if (!v || *v > kLongestPeriod || (!zero_allowed && *v <= 0))
        fault(n, quoted_text(key) + " must be a number of seconds " +
                     (zero_allowed ? "from 0" : "above 0") + " up to a day, not " +
                     quoted_text(n.Scalar()));
    return *v;
}

int32_t whole_value(const YAML::Node& n, const std::string& key, int64_t min, int64_t max) {
    const auto v = parse_int(scalar(n, key), min, max);
    if (!v)
        fault(n, quoted_text(key) + " must be a whole number from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", not " + quoted_text(n.Scalar()));
    return *v;
}

bool label_name_ok(const std::string& name) {
    if (name.empty() || name.rfind("__", 0) == 0) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

void read_labels(const YAML::Node& n, target_config& t) {
    if (!n.IsMap()) fault(n, "'labels' must be a map of label names to values");
    for (const auto& kv : n) {
        const std::string name = scalar(kv.first, "labels");
        if (!label_name_ok(name) || kReservedLabels.count(name))
            fault(kv.first, "label name " + quoted_text(name) +
                                " is not allowed (letters, digits and '_', not starting with a "
                                "digit or '__'; not target, name, le, quantile, job, instance)");
        const std::string value = scalar(kv.second, name);
        bool replaced = false;
        for (auto& [k, v] : t.labels)
            if (k == name) v = value, replaced = true;
        if (!replaced) t.labels.emplace_back(name, value);
    }
}

void read_buckets(const YAML::Node& n, target_config& t) {
    if (!n.IsSequence() || n.size() == 0)
        fault(n, "'buckets' must be a list of upper bounds in seconds");
    bucket_bounds b;
    for (const auto& item : n) {
        const double v = seconds_value(item, "buckets", false);
        if (!b.empty() && v <= b.back()) fault(item, "'buckets' must rise from one to the next");
        b.push_back(v);
    }
    t.buckets = std::move(b);
}

// One row per setting a target (or the defaults) may hold.
using setting_reader = std::function<void(const YAML::Node&, target_config&)>;
const std::map<std::string, setting_reader>& settings() {
    static const std::map<std::string, setting_reader> rows = {
        {"port", [](const YAML::Node& n, target_config& t) {
             t.port = whole_value(n, "port", 1, kLastPort);
         }},
        {"period", [](const YAML::Node& n, target_config& t) {
             t.period = seconds_value(n, "period", false);
         }},
        {"timeout", [](const YAML::Node& n, target_config& t) {
             t.timeout = seconds_value(n, "timeout", false);
         }},
        {"probe_size", [](const YAML::Node& n, target_config& t) {
             t.probe_size = whole_value(n, "probe_size", PKTHDR_SIZE, kLargestDatagram);
         }},
        {"echo_size", [](const YAML::Node& n, target_config& t) {
             t.echo_size = whole_value(n, "echo_size", PKTHDR_SIZE, kLargestDatagram);
         }},
        {"dscp", [](const YAML::Node& n, target_config& t) {
             t.dscp = whole_value(n, "dscp", 0, kLastDscp);
         }},
        {"buckets", read_buckets},
        {"labels", read_labels},
    };
    return rows;
}

// Reads a map of settings into `t`; `own` names keys only a target has (name, host).
void read_settings(const YAML::Node& map, target_config& t, bool target_keys) {
    if (!map.IsMap()) fault(map, target_keys ? "a target must be a map of settings"
                                             : "'defaults' must be a map of settings");
    for (const auto& kv : map) {
        const std::string key = scalar(kv.first, "key");
        if (target_keys && key == "name") {
            t.name = scalar(kv.second, key);
            if (t.name.empty()) fault(kv.second, "'name' is empty");
        } else if (target_keys && key == "host") {
            t.host = scalar(kv.second, key);
            if (const std::string why = host_text_problem(t.host); !why.empty())
                fault(kv.second, why);
        } else if (const auto row = settings().find(key); row != settings().end()) {
            row->second(kv.second, t);
        } else {
            fault(kv.first, "unknown key " + quoted_text(key));
        }
    }
}

void finish_target(target_config& t, const YAML::Node& at, const std::string& source) {
    if (t.host.empty()) fault(at, "a target needs a 'host'");
    if (t.name.empty()) t.name = t.host_port();
    t.origin = where(source, at.Mark());
}

config_result failure(std::string why) {
    return {{}, std::move(why)};
}

} // namespace

bool target_config::same_settings(const target_config& o) const {
    return name == o.name && host == o.host && port == o.port && period == o.period &&
           timeout == o.timeout && probe_size == o.probe_size && echo_size == o.echo_size &&
           dscp == o.dscp && labels == o.labels && buckets == o.buckets;
}

std::string target_config::host_port() const {
    return endpoint_of(host, port); // "[::1]:33333" for an IPv6 host
}

config_result target_from_text(const std::string& text, const target_config& base) {
    target_config t = base;
    t.origin = "--target " + quoted_text(text);
    host_port_parts parts;
    if (const std::string why = split_host_port(text, &parts); !why.empty())
        return failure(t.origin + ": " + why);
    if (parts.port) {
        const auto port = parse_int(*parts.port, 1, kLastPort);
        if (!port) return failure(t.origin + ": the port must be a number from 1 to 65535");
        t.port = *port;
    }
    t.host = std::string(parts.host);
    if (const std::string why = host_text_problem(t.host); !why.empty())
        return failure(t.origin + ": " + why);
    t.name = t.host_port();
    return {{t}, ""};
}

config_result parse_config_text(const std::string& text, const std::string& source,
                                const target_config& base) {
    try {
        const YAML::Node root = YAML::Load(text);
        if (root.IsNull()) return {{}, ""}; // an empty file: no targets
        if (!root.IsMap()) fault(root, "the file must be a map with 'targets' (and 'defaults')");
        target_config defaults = base;
        if (const YAML::Node d = root["defaults"]) read_settings(d, defaults, false);
        config_result r;
        for (const auto& kv : root) {
            const std::string key = scalar(kv.first, "key");
            if (key == "defaults") continue;
            if (key != "targets") fault(kv.first, "unknown key " + quoted_text(key));
            if (kv.second.IsNull()) continue;
            if (!kv.second.IsSequence()) fault(kv.second, "'targets' must be a list");
            for (const auto& item : kv.second) {
                target_config t = defaults;
                read_settings(item, t, true);
                finish_target(t, item, source);
                r.targets.push_back(std::move(t));
            }
        }
        return join_targets({}, std::move(r.targets));
    } catch (const config_fault& f) {
        return failure(where(source, f.mark) + ": " + f.what);
    } catch (const YAML::Exception& e) {
        return failure(where(source, e.mark) + ": " + e.msg);
    }
}

config_result read_config_file(const std::string& path, const target_config& base) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return failure(quoted_text(path) + ": cannot read the configuration: " +
                       std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return failure(quoted_text(path) + ": not a regular file");
    if (st.st_size > kLargestFile)
        return failure(quoted_text(path) + ": larger than a configuration can be (" +
                       std::to_string(kLargestFile) + " bytes)");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        return failure(quoted_text(path) + ": cannot read the configuration");
    return parse_config_text(text.str(), path, base);
}

config_result join_targets(std::vector<target_config> first, std::vector<target_config> second) {
    config_result r{std::move(first), ""};
    for (auto& t : second) r.targets.push_back(std::move(t));
    std::map<std::string, const target_config*> names;
    std::map<std::string, const target_config*> endpoints;
    for (const target_config& t : r.targets) {
        const std::string endpoint = t.host_port() + " dscp " + std::to_string(t.dscp);
        if (auto [it, fresh] = names.emplace(t.name, &t); !fresh)
            return failure(t.origin + ": duplicate target: the name " + quoted_text(t.name) +
                           " is already used at " + it->second->origin);
        if (auto [it, fresh] = endpoints.emplace(endpoint, &t); !fresh)
            return failure(t.origin + ": duplicate target: " + quoted_text(t.host_port()) +
                           " is already probed at " + it->second->origin);
    }
    return r;
}
