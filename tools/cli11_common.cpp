#include "tools/cli11_common.h"

#include "tools/cli_args.h"

#include <cstdio>

void add_standard_flags(CLI::App& app) {
    app.set_help_flag("--help", "show this text and exit");
    app.set_version_flag("--version", app.get_name() + " " + REBOUND_VERSION,
                         "show the version and exit");
}

std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        const std::string name = app.get_name();
        return usage_error(ProgramInfo{name.c_str(), nullptr}, e.what());
    }
}

CLI::Validator text_check(bool (*accept)(const std::string&), const std::string& what) {
    return CLI::Validator(
        [accept, what](std::string& value) -> std::string {
            return accept(value) ? std::string() : "'" + value + "' " + what;
        },
        "");
}
