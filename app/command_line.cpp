#include "app/command_line.h"

#include "tools/cli_app.h"

#include <cstring>
#include <string_view>

namespace {

// The toolkit's own options, as its application objects take them from the command line
// (QGuiApplication, QApplication and the X11 platform plugin). Each is accepted with one dash
// or two, as the toolkit does; `value` says whether the next argument belongs to it.
struct ToolkitOption {
    const char* name;
    bool value;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},      {"platformpluginpath", true}, {"platformtheme", true},
    {"plugin", true},        {"qwindowgeometry", true},    {"geometry", true},
    {"qwindowicon", true},   {"icon", true},               {"qwindowtitle", true},
    {"title", true},         {"session", true},            {"display", true},
    {"name", true},          {"dialogs", true},            {"visual", true},
    {"style", true},         {"stylesheet", true},         {"reverse", false},
    {"widgetcount", false},  {"nograb", false},            {"dograb", false},
    {"sync", false},         {"testability", false},       {"qmljsdebugger", false},
};

// Options whose value the toolkit also takes in the form -option=value.
bool takesJoinedValue(std::string_view name) {
    return name == "style" || name == "stylesheet" || name == "qmljsdebugger";
}

constexpr const char* kHelp =
    "Usage: rebound [toolkit options]\n"
    "\n"
    "Rebound's window: measures the round trip of UDP datagrams to an echo responder\n"
    "(reboundsrv) and draws every probe's round-trip time. Enter the responder's address\n"
    "(IPHost), port, time limit, count and sizes, then press qpbNetConn to measure inside the\n"
    "window or qpbNetConnCli to measure through reboundcli while the window stays responsive.\n"
    "\n"
    "Options:\n"
    "  --help                show this text and exit\n"
    "  --version             show the version and exit\n"
    "  -platform NAME        Qt's platform plugin (xcb, wayland, offscreen, ...); the other\n"
    "                        options of Qt's application objects (-style, -stylesheet,\n"
    "                        -reverse, -display, -geometry, ...) are passed on as well\n"
    "\n"
    "Every log line goes to standard output and to reboundgui.log in the working directory;\n"
    "past a size that file starts afresh and the previous one is kept as reboundgui.log.1.\n"
    "\n"
    "Exit status: 0 after Quit, Ctrl+Q or closing the window; 2 for a bad command line;\n"
    "128+N after signal N (SIGINT, SIGTERM).\n";

// The toolkit option `arg` names, or null; `joined` tells whether its value is part of it.
const ToolkitOption* toolkitOption(std::string_view arg, bool* joined) {
    if (arg.size() < 2 || arg[0] != '-') return nullptr;
    arg.remove_prefix(arg[1] == '-' ? 2 : 1);
    const size_t equals = arg.find('=');
    std::string_view name = arg.substr(0, equals);
    *joined = equals != std::string_view::npos;
    for (const ToolkitOption& o : kToolkitOptions) {
        if (name != o.name) continue;
        if (*joined && !takesJoinedValue(name)) return nullptr;
        return &o;
    }
    return nullptr;
}

int refuse(std::FILE* err, const char* what, const char* arg) {
    std::fprintf(err, "rebound: %s %s\nRun with --help for more information.\n", what,
                 quoted_text(arg).c_str());
    std::fflush(err);
    return kWindowExitUsage;
}

} // namespace

int checkWindowArguments(int argc, char** argv, std::FILE* out, std::FILE* err) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kHelp, out);
            std::fflush(out);
            return 0;
        }
        if (arg == "--version") {
            std::fprintf(out, "rebound %s\n", REBOUND_VERSION);
            std::fflush(out);
            return 0;
        }
    }
    for (int i = 1; i < argc; ++i) {
        bool joined = false;
        const ToolkitOption* option = toolkitOption(argv[i], &joined);
        if (!option)
            return refuse(err, argv[i][0] == '-' ? "unknown option" : "unexpected argument",
                          argv[i]);
        if (option->value && !joined && ++i >= argc)
            return refuse(err, "missing value after", argv[i - 1]);
    }
    return -1;
}
