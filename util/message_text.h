// Texts a user gave, made fit for a message line.
#pragma once

#include <string>
#include <string_view>

// Control characters (line ends above all) written as C escapes, so no text can add a line of
// its own to the output.
std::string escaped_text(std::string_view text);
// The characters escaped_text() writes as escapes: C0 controls and DEL.
bool is_control_char(char c);
// escaped_text() in single quotes: "'::1::'".
std::string quoted_text(std::string_view text);
