#include "tests/support/summary_text.h"

#include <regex>
#include <sstream>

namespace testsupport {

std::map<std::string, double> summary_numbers(const std::string& text) {
    std::map<std::string, double> numbers;
    std::istringstream lines(text);
    std::string line;
    const std::regex piece(R"(^ *([a-z][a-z0-9.]*(?: [a-z][a-z0-9.]*)*) (-?[0-9]+(?:\.[0-9]+)?))");
    while (std::getline(lines, line)) {
        const std::string first = line.substr(0, line.find(' '));
        const size_t colon = line.find(':');
        std::istringstream pieces(colon == std::string::npos ? line : line.substr(colon + 1));
        std::string p;
        std::smatch m;
        while (std::getline(pieces, p, ','))
            if (std::regex_search(p, m, piece)) numbers[first + "." + m[1].str()] = std::stod(m[2]);
    }
    return numbers;
}

} // namespace testsupport
