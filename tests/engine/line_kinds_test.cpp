// The protocol markers the window's parser reads are the texts the printer writes: each stands in
// the formats of the kinds that carry it.
#include "engine/line_kinds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool in_format(line_kind kind, const char* marker) {
    return std::string(line_spec_of(kind).format).find(marker) != std::string::npos;
}

TEST(LineKinds, MarkersStandInTheFormatsThatCarryThem) {
    struct Case {
        const char* marker;
        std::vector<line_kind> kinds;
    };
    const std::vector<line_kind> phase1 = {line_kind::send, line_kind::echo};
    const Case cases[] = {
        {kLinePhase1Marker, phase1},
        {kLinePhase2Marker, {line_kind::drained_echo}},
        {kLineSendCall, {line_kind::send}},
        {kLineRecvCall, {line_kind::echo, line_kind::drained_echo}},
        {kLineIteration, phase1},
        {kLineSendCounter, phase1},
        {kLineRecvCounter, phase1},
        {kLineSendResult, phase1},
        {kLineRecvResult, {line_kind::echo}},
        {kLineEchoSequence, {line_kind::echo}},
        {kLineTimed, phase1},
        {kLineTimeField, phase1},
        {kLineStatSendpkts, {line_kind::stat_sendpkts}},
        {kLineStatRecvpkts, {line_kind::stat_recvpkts}},
        {kLineStatIterpkts, {line_kind::stat_iterpkts}},
    };
    for (const Case& c : cases)
        for (const line_kind kind : c.kinds)
            EXPECT_TRUE(in_format(kind, c.marker)) << c.marker << " in " << line_spec_of(kind).name;
}

} // namespace
