#include <array>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "cli/commands.h"
#include "cli/standard_output.h"

namespace {

struct Subcommand {
    std::string_view name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

// Every subcommand of kavrel-cli: a new one is one row here and its cmd_*.cpp.
constexpr std::array kSubcommands = {
    Subcommand{"read", kavrel::cli::readCommand, "list the streams of an EVO, VOB or AOB file"},
    Subcommand{"demux", kavrel::cli::demuxCommand,
               "write the chosen streams to elementary-stream files"},
    Subcommand{"rebuild", kavrel::cli::rebuildCommand,
               "write a filtered program stream (.rebuilt.EVO)"},
    Subcommand{"xpl", kavrel::cli::xplCommand, "read an HD DVD playlist (VPLST000.XPL)"},
    Subcommand{"titles", kavrel::cli::titlesCommand,
               "list the titles of an HD DVD playlist or disc folder"},
    Subcommand{"subs", kavrel::cli::subsCommand,
               "decode a subpicture .sup file to PGS or PNG pictures"},
    Subcommand{"mkv", kavrel::cli::mkvCommand,
               "make a Matroska file of a feature's streams with mkvmerge"},
    Subcommand{"tracks", kavrel::cli::tracksCommand,
               "write the tracks of a DVD-Audio disc as WAV or FLAC files"},
};

void usage(std::FILE* to) {
    std::fprintf(to, "usage: kavrel-cli COMMAND [OPTIONS] INPUT\n");
    for (const Subcommand& command : kSubcommands) {
        std::fprintf(to, "  %-8.*s %s\n", static_cast<int>(command.name.size()),
                     command.name.data(), command.summary);
    }
    std::fprintf(to, "Run 'kavrel-cli COMMAND --help' for the options of a command.\n");
}

int dispatch(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help") {
        usage(stdout);
        return 0;
    }
    if (command == "-V" || command == "--version") {
        std::printf("kavrel-cli %s\n", KAVREL_VERSION);
        return 0;
    }
    for (const Subcommand& subcommand : kSubcommands) {
        if (command == subcommand.name) return subcommand.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "kavrel-cli: unknown command '%s'\n", argv[1]);
    usage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit (ulimit -f) then fails the write with EFBIG, which the run reports as
    // it reports a full disk, instead of killing the process in the middle of a file.
    std::signal(SIGXFSZ, SIG_IGN);
    return kavrel::cli::finishOutput(dispatch(argc, argv));
}
