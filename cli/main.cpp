#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: kavrel-cli COMMAND [OPTIONS] INPUT\n"
                 "  read     list the streams of an EVO, VOB or AOB file\n"
                 "  demux    write the chosen streams to elementary-stream files\n"
                 "  rebuild  write a filtered program stream (.rebuilt.EVO)\n"
                 "  xpl      read an HD DVD playlist (VPLST000.XPL)\n"
                 "  titles   list the titles of an HD DVD playlist or disc folder\n"
                 "  subs     decode a subpicture .sup file to PGS or PNG pictures\n"
                 "Run 'kavrel-cli COMMAND --help' for the options of a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const char* command = argv[1];
    if (!std::strcmp(command, "-h") || !std::strcmp(command, "--help")) {
        usage(stdout);
        return 0;
    }
    if (!std::strcmp(command, "-V") || !std::strcmp(command, "--version")) {
        std::printf("kavrel-cli %s\n", KAVREL_VERSION);
        return 0;
    }
    if (!std::strcmp(command, "read")) return kavrel::cli::readCommand(argc - 1, argv + 1);
    if (!std::strcmp(command, "demux")) return kavrel::cli::demuxCommand(argc - 1, argv + 1);
    if (!std::strcmp(command, "rebuild")) return kavrel::cli::rebuildCommand(argc - 1, argv + 1);
    if (!std::strcmp(command, "xpl")) return kavrel::cli::xplCommand(argc - 1, argv + 1);
    if (!std::strcmp(command, "titles")) return kavrel::cli::titlesCommand(argc - 1, argv + 1);
    if (!std::strcmp(command, "subs")) return kavrel::cli::subsCommand(argc - 1, argv + 1);
    std::fprintf(stderr, "kavrel-cli: unknown command '%s'\n", command);
    usage(stderr);
    return 2;
}
