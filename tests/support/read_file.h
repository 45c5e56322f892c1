// The one way tests read a whole file.
#pragma once

#include <string>

namespace testsupport {

// The file's bytes; empty when it cannot be opened, which *found (when given) tells apart from
// an empty file.
std::string read_file(const std::string& path, bool* found = nullptr);

} // namespace testsupport
