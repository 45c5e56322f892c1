// The window program's command line: answers without a display, refusals with exit 2, the
// toolkit's options passed through.
#include "app/command_line.h"
#include "tests/app/app_test_support.h"
#include "tests/support/child_process.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Checked {
    int status;
    std::string out, err;
};

Checked check(std::vector<std::string> args) {
    args.insert(args.begin(), "rebound");
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    char* outText = nullptr;
    char* errText = nullptr;
    size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    Checked c;
    c.status = checkWindowArguments(int(args.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    c.out.assign(outText, outSize);
    c.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return c;
}

TEST(WindowCommandLine, HelpVersionToolkitOptionsAndRefusals) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out; // a text standard output holds
        const char* err; // a text standard error holds
    };
    const Case cases[] = {
        {{}, -1, "", ""},
        {{"--help"}, 0, "Usage: rebound", ""},
        {{"-platform", "offscreen", "--help"}, 0, "reboundgui.log", ""},
        {{"--version"}, 0, "rebound " REBOUND_VERSION "\n", ""},
        {{"-platform", "offscreen"}, -1, "", ""},
        {{"--platform", "offscreen", "-reverse", "-style=Fusion", "-style", "Fusion"}, -1, "", ""},
        {{"-platform"}, kWindowExitUsage, "", "missing value after '-platform'"},
        {{"--hlep"}, kWindowExitUsage, "", "unknown option '--hlep'\nRun with --help"},
        {{"-h"}, kWindowExitUsage, "", "unknown option '-h'"},
        {{"-reverse=1"}, kWindowExitUsage, "", "unknown option '-reverse=1'"},
        {{"127.0.0.1"}, kWindowExitUsage, "", "unexpected argument '127.0.0.1'"},
        {{"-x\nforged"}, kWindowExitUsage, "", "'-x\\nforged'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        const Checked got = check(c.args);
        EXPECT_EQ(got.status, c.status);
        EXPECT_NE(got.out.find(c.out), std::string::npos) << got.out;
        EXPECT_NE(got.err.find(c.err), std::string::npos) << got.err;
        if (c.status != 0) {
            EXPECT_EQ(got.out, "");
        }
        if (c.status != kWindowExitUsage) {
            EXPECT_EQ(got.err, "");
        }
    }
}

// The program itself, with no display at all: no toolkit start, no abort.
TEST(WindowCommandLine, ProgramAnswersWithoutADisplay) {
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::vector<std::pair<const char*, QByteArray>> saved;
    for (const char* name : names) {
        saved.emplace_back(name, qgetenv(name));
        qunsetenv(name);
    }
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: rebound", ""},
        {{"--version"}, 0, "rebound " REBOUND_VERSION "\n", ""},
        {{"--bogus"}, kWindowExitUsage, "", "unknown option '--bogus'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const testsupport::RunResult r = testsupport::run_program("rebound", c.args);
        EXPECT_EQ(r.exit_code, c.status) << r.err;
        EXPECT_EQ(r.term_signal, 0);
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    for (const auto& [name, value] : saved)
        if (!value.isNull()) qputenv(name, value);
}

} // namespace
