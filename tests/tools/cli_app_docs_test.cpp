// The man pages and bash completions stay true: the options each page lists under OPTIONS (and
// the arguments under ARGUMENTS), and the options each completion offers, are exactly those the
// program's --help lists.
#include "tests/support/child_process.h"
#include "tests/support/read_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace testsupport;

namespace {

using Names = std::set<std::string>;

struct Listed {
    Names options;     // "-h", "--host", ...
    Names positionals; // "NAME", ...
};

// The option names at the start of a --help line: "-h,--host HOST" (CLI11), "-h, --host HOST"
// or "--sendsize=N" (written by hand); none when the line does not start with an option.
void take_options(const std::string& line, Names* out) {
    static const std::regex name(R"(^--?[A-Za-z0-9][A-Za-z0-9-]*)");
    static const std::regex value(R"(^([= ][A-Z][A-Z_]*)?,? *)");
    std::string rest = line.substr(line.find_first_not_of(' '));
    std::smatch m;
    while (std::regex_search(rest, m, name)) {
        out->insert(m[0]);
        rest = m.suffix();
        if (std::regex_search(rest, m, value)) rest = m.suffix();
    }
}

// --help: every indented line that starts with an option names options; the entries of a
// "Positionals:" block (CLI11) name arguments. Deeper-indented lines continue a text.
Listed from_help(const std::string& help) {
    Listed listed;
    bool positionals = false;
    for (const auto& line : split_lines(help)) {
        if (line.empty() || line[0] != ' ') {
            positionals = line == "Positionals:";
            continue;
        }
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        if (line[first] == '-') {
            take_options(line, &listed.options);
        } else if (positionals && first == 2) {
            listed.positionals.insert(line.substr(2, line.find(' ', 2) - 2));
        }
    }
    return listed;
}

// roff text without font changes and with its escaped hyphens plain.
std::string plain(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    text = std::regex_replace(text, std::regex(R"(\\(\^|&|\|))"), "");
    return text;
}

// The page: the tag line of every .TP (or the argument of .IP) in the OPTIONS section gives its
// option names, in the ARGUMENTS section its argument name.
Listed from_page(const std::string& page) {
    Listed listed;
    std::istringstream lines(page);
    std::string line, section;
    bool tag_next = false;
    const std::regex option(R"((^|[\s,"])(--?[A-Za-z0-9][A-Za-z0-9-]*))");
    const auto take = [&](const std::string& tag) {
        const std::string t = plain(tag);
        if (section == "OPTIONS") {
            for (std::sregex_iterator m(t.begin(), t.end(), option), end; m != end; ++m)
                listed.options.insert((*m)[2]);
        } else if (section == "ARGUMENTS") {
            std::smatch m;
            if (std::regex_search(t, m, std::regex(R"([A-Z][A-Z0-9_]*)")))
                listed.positionals.insert(m[0]);
        }
    };
    while (std::getline(lines, line)) {
        if (line.rfind(".SH ", 0) == 0) {
            section = line.substr(4);
            section.erase(std::remove(section.begin(), section.end(), '"'), section.end());
            tag_next = false;
        } else if (line.rfind(".TP", 0) == 0) {
            tag_next = true;
        } else if (line.rfind(".IP ", 0) == 0) {
            take(line.substr(4));
        } else if (tag_next) {
            // ".B -x", ".BR ..." and friends carry the tag as their arguments.
            take(line[0] == '.' ? line.substr(line.find(' ') + 1) : line);
            tag_next = false;
        }
    }
    return listed;
}

// The options a completion script offers: the words of its compgen -W lists that start with
// '-', without the '=' of "--sendsize=".
Names from_completion(const std::string& script) {
    Names options;
    const std::regex list(R"(compgen -W '([^']*)')");
    for (std::sregex_iterator m(script.begin(), script.end(), list), end; m != end; ++m) {
        std::istringstream words((*m)[1].str());
        std::string w;
        while (words >> w)
            if (w[0] == '-') options.insert(w.back() == '=' ? w.substr(0, w.size() - 1) : w);
    }
    return options;
}

std::string join(const Names& names) {
    std::string out;
    for (const auto& n : names)
        out += n + " ";
    return out;
}

TEST(ProgramDocs, ManPagesAndCompletionsMatchHelp) {
    const struct {
        const char* program;
        bool owned_here; // a page that must exist; the others are checked once they do
    } programs[] = {{"reboundcli", true}, {"rebounddns", true}, {"reboundsrv", false},
                    {"rebound_exporter", true}};
    int pages = 0;
    for (const auto& p : programs) {
        SCOPED_TRACE(p.program);
        const auto help = run_program(p.program, {"--help"});
        ASSERT_EQ(help.exit_code, 0);
        const Listed want = from_help(help.out);
        ASSERT_FALSE(want.options.empty()) << "no options read from --help";

        bool found = false;
        const std::string source = REBOUND_SOURCE_DIR;
        const std::string page = read_file(source + "/docs/man/" + p.program + ".1", &found);
        if (found) {
            const Listed have = from_page(page);
            EXPECT_EQ(join(have.options), join(want.options)) << "man page vs --help";
            EXPECT_EQ(join(have.positionals), join(want.positionals)) << "man page vs --help";
            std::string title = p.program;
            for (char& c : title)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(page.rfind(".TH " + title + " 1 ", 0), 0u);
            ++pages;
        } else {
            EXPECT_FALSE(p.owned_here) << "missing man page";
        }

        const std::string completion =
            read_file(source + "/packaging/completions/" + p.program, &found);
        if (found) {
            EXPECT_EQ(join(from_completion(completion)), join(want.options))
                << "bash completion vs --help";
        }
    }
    EXPECT_GE(pages, 2);
}

} // namespace
