// The fields of a process's or thread's stat file (/proc/PID/stat, /proc/PID/task/TID/stat),
// numbered as proc(5) numbers them.
#pragma once

#include <string>

namespace testsupport {

// Field `number` (3 or above: the fields after the command name, which may itself hold spaces
// and parentheses) of the stat file at `path`; "" when the file or the field is missing.
std::string stat_field(const std::string& path, int number);

} // namespace testsupport
