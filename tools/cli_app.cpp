#include "tools/cli_app.h"

#include "tools/cli_args.h"

#include <cstdio>

namespace {

constexpr int kHelpColumn = 28;

// --help as a reader of man pages expects it: the usage line first, then what the program does,
// the arguments and options, and the footer.
class help_formatter final : public CLI::Formatter {
  public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        return make_usage(app, name) + "\n" + make_description(app) + make_positionals(app) +
               make_groups(app, mode) + "\n" + make_footer(app);
    }
};

} // namespace

void init_app(CLI::App& app, const std::string& footer) {
    app.set_help_flag("--help", "show this text and exit");
    app.set_version_flag("--version", app.get_name() + " " + REBOUND_VERSION,
                         "show the version and exit");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto formatter = std::make_shared<help_formatter>();
    formatter->column_width(kHelpColumn);
    app.formatter(formatter);
    app.footer(footer);
}

CLI::Option* add_whole_number(CLI::App& app, const std::string& names, int32_t* target, int64_t min,
                              int64_t max, const std::string& help) {
    const auto check = [min, max](const std::string& text) -> std::string {
        if (parse_int(text, min, max)) return "";
        return quoted_text(text) + " is not a whole number from " + std::to_string(min) + " to " +
               std::to_string(max);
    };
    return app
        .add_option_function<std::string>(
            names, [=](const std::string& text) { *target = *parse_int(text, min, max); }, help)
        ->check(CLI::Validator(check, ""))
        ->type_name("N");
}

CLI::Option* add_seconds(CLI::App& app, const std::string& names, double* target, bool zero_allowed,
                         const std::string& help) {
    const auto check = [zero_allowed](const std::string& text) -> std::string {
        const auto v = parse_seconds(text);
        if (v && (zero_allowed || *v > 0)) return ""; // parse_seconds stops at a day
        return quoted_text(text) + " is not a number of seconds " +
               (zero_allowed ? "from 0" : "above 0") + " to 86400";
    };
    return app
        .add_option_function<std::string>(
            names, [=](const std::string& text) { *target = *parse_seconds(text); }, help)
        ->check(CLI::Validator(check, ""))
        ->type_name("SECONDS");
}

int parse_command_line(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::printf("%s\n", e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        return usage_error(app.get_name(), escaped_text(e.what()));
    }
    return -1;
}

