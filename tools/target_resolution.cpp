#include "tools/target_resolution.h"

#include "address/sockaddr.h"
#include "tools/cli_app.h"
#include "tools/host_text.h"

#include <cstring>

resolution resolve_targets(const std::vector<target_config>& targets) {
    resolution r;
    for (const target_config& t : targets) {
        const host_address a = resolve_host_text(t.host);
        if (a.address.empty())
            return {{}, t.origin + ": target " + quoted_text(t.name) + ": " + a.error};
        resolved_target rt{t, {}};
        const sockaddr_in in =
            create_sockaddrin(AF_INET, a.address.c_str(), std::to_string(t.port).c_str());
        std::memcpy(&rt.probe.address, &in, sizeof in);
        rt.probe.address_length = sizeof in;
        rt.probe.period = t.period;
        rt.probe.echo_wait = t.timeout;
        rt.probe.probe_size = t.probe_size;
        rt.probe.echo_size = t.echo_size;
        rt.probe.dscp = t.dscp;
        r.targets.push_back(std::move(rt));
    }
    return r;
}
