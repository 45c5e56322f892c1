#include "tools/target_resolution.h"

#include "address/net_address.h"
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
        // The name services' numeric text of either family; one that does not parse is never
        // probed.
        net_address address;
        if (const std::string why = parse_address_literal(a.address, uint16_t(t.port), &address);
            !why.empty())
            return {{}, t.origin + ": target " + quoted_text(t.name) + ": " + why};
        std::memcpy(&rt.probe.address, address.record(), size_t(address.length()));
        rt.probe.address_length = address.length();
        rt.probe.period = t.period;
        rt.probe.echo_wait = t.timeout;
        rt.probe.probe_size = t.probe_size;
        rt.probe.echo_size = t.echo_size;
        rt.probe.dscp = t.dscp;
        r.targets.push_back(std::move(rt));
    }
    return r;
}
