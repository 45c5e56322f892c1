#include "util/dscp_text.h"

#include <gtest/gtest.h>

namespace {

TEST(Dscp, NumbersAndClassNamesBothWays) {
    struct Case {
        const char* text;
        int dscp; // -1: refused
        const char* name;
    };
    const Case cases[] = {
        {"EF", 46, "EF"},     {"ef", 46, "EF"},
        {"AF41", 34, "AF41"}, {"af11", 10, "AF11"},
        {"CS5", 40, "CS5"},   {"40", 40, "CS5"},
        {"0", 0, "CS0"},      {"63", 63, "63"},
        {"LE", 1, "LE"},      {"VOICE-ADMIT", 44, "VA"},
        {"64", -1, ""},       {"-1", -1, ""},
        {"XY", -1, ""},       {"", -1, ""},
        {"AF44", -1, ""},     {"CS8", -1, ""},
        {"4 6", -1, ""},      {"0x2e", -1, ""},
    };
    for (const auto& c : cases) {
        const auto d = parse_dscp(c.text);
        EXPECT_EQ(d.value_or(-1), c.dscp) << c.text;
        if (d) {
            EXPECT_EQ(dscp_name(*d), c.name) << c.text;
        }
    }
}

} // namespace
