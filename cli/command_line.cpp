#include "cli/command_line.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "cli/cli_common.h"

namespace kavrel::cli {
namespace {

// The help as kavrel-cli writes it: the usage line, the description, then one line per option
// ("  -o, --out DIR        text"; long-only options indented to line up), the footer last.
class HelpFormatter : public CLI::Formatter {
  public:
    explicit HelpFormatter(std::string usage) : usage_(std::move(usage)) { column_width(25); }

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::ostringstream out;
        out << "usage: " << usage_ << "\n" << app->get_description() << "\n\n";
        for (const CLI::Option* option :
             app->get_options([](const CLI::Option* o) { return o->nonpositional(); })) {
            out << make_option(option, false);
        }
        if (!app->get_footer().empty()) out << "\n" << app->get_footer() << "\n";
        return out.str();
    }

    std::string make_option_name(const CLI::Option* option, bool) const override {
        std::string name;
        for (const std::string& shortName : option->get_snames()) name += "-" + shortName + ", ";
        if (name.empty()) name = "    ";
        bool first = true;
        for (const std::string& longName : option->get_lnames()) {
            if (!first) name += ", ";
            name += "--" + longName;
            first = false;
        }
        if (!name.empty() && name.ends_with(", ")) name.resize(name.size() - 2);
        return name;
    }

    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_expected_max() == 0 ? std::string() : " " + option->get_type_name();
    }

  private:
    std::string usage_;
};

// "--name=value" words that CLI11 would take otherwise than meant: an empty value ("--out=")
// would make it take the next word as the value, and a value given to a flag reads as an
// obscure override. Returns the problem, or "" when there is none.
std::string attachedValueProblem(const CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        const auto equals = word.find('=');
        if (!word.starts_with("--") || equals == std::string_view::npos) continue;
        const std::string name(word.substr(0, equals));
        const CLI::Option* option = app.get_option_no_throw(name);
        if (!option) continue;  // CLI11 reports the unknown option
        if (option->get_expected_max() == 0) return "option '" + name + "' takes no value";
        if (equals + 1 == word.size()) return "option '" + name + "' needs a value";
    }
    return {};
}

}  // namespace

CommandLine::CommandLine(std::string_view command, std::string usage, std::string description)
    : app(std::move(description), "kavrel-cli " + std::string(command)), command_(command) {
    app.formatter(std::make_shared<HelpFormatter>(std::move(usage)));
    app.set_help_flag();  // added again when parsing, to come last in the help
}

int CommandLine::parse(int argc, char** argv) {
    app.set_help_flag("-h,--help", "show this help");
    if (const std::string problem = attachedValueProblem(app, argc, argv); !problem.empty())
        return usageError(command_, problem);
    try {
        app.parse(argc, argv);  // argv[0], the subcommand's name, stands for the program's
    } catch (const CLI::CallForHelp&) {
        const std::string help = app.help();
        std::fwrite(help.data(), 1, help.size(), stdout);
        return kExitDone;
    } catch (const CLI::ParseError& error) {
        return usageError(command_, error.what());
    }
    return -1;
}

}  // namespace kavrel::cli
