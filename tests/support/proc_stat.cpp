#include "tests/support/proc_stat.h"

#include "tests/support/read_file.h"

#include <sstream>

namespace testsupport {

std::string stat_field(const std::string& path, int number) {
    constexpr int kFirstAfterName = 3; // the state
    const std::string text = read_file(path);
    const size_t close = text.rfind(')');
    if (close == std::string::npos || number < kFirstAfterName) return "";
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int n = kFirstAfterName; n <= number; ++n)
        if (!(fields >> field)) return "";
    return field;
}

} // namespace testsupport
