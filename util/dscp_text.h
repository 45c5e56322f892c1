// Differentiated-services code points (DSCP, the upper six bits of the IPv4 type-of-service
// byte and of the IPv6 traffic class) as numbers and as the names of their classes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr int kDscpCount = 64; // code points 0..63
inline constexpr int kDscpShift = 2;  // below the DSCP lie the two ECN bits

// A number 0..63 or a class name: CS0..CS7, AF11..AF43, EF, VA (VOICE-ADMIT) or LE, in any
// letter case. Empty for anything else.
std::optional<int> parse_dscp(std::string_view text);

// The class name of a code point ("EF", "AF41", "CS5"), or its number when it has none.
std::string dscp_name(int dscp);
