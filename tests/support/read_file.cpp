#include "tests/support/read_file.h"

#include <fstream>
#include <iterator>

namespace testsupport {

std::string read_file(const std::string& path, bool* found) {
    std::ifstream in(path, std::ios::binary);
    if (found) *found = bool(in);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace testsupport
