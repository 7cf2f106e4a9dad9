#pragma once
// The command line of one kavrel-cli subcommand, parsed with CLI11.
//
// A subcommand makes a CommandLine, adds the options it takes and parses:
//
//     CommonOptions options;
//     CommandLine line("demux", "kavrel-cli demux [OPTIONS] INPUT", "Read … then write …");
//     addCommonOptions(line, options);          // -q --json --no-… and the INPUT
//     addWriteOptions(line, options);           // -o -s
//     line.app.add_flag("--example", options.example, "what it does");   // one line per option
//     if (int code = line.parse(argc, argv); code >= 0) return code;
//
// The help lists every option added, in the order added, with -h/--help last.
#include <CLI/CLI.hpp>
#include <string>
#include <string_view>

namespace kavrel::cli {

class CommandLine {
  public:
    // usage: the help's first line after "usage: "; description: the text under it.
    CommandLine(std::string_view command, std::string usage, std::string description);

    // Parses the words after the subcommand's name (argv[0]). Returns -1 when the command may
    // run; otherwise the exit code: 0 after printing the help, kExitUsage after printing the
    // problem as "kavrel-cli COMMAND: …".
    int parse(int argc, char** argv);

    const std::string& command() const { return command_; }

    CLI::App app;

  private:
    std::string command_;
};

}  // namespace kavrel::cli
