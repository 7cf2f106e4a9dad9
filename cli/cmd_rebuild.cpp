#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "rebuild/rebuild.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

namespace {

void help() {
    std::printf(
        "usage: kavrel-cli rebuild [OPTIONS] INPUT\n"
        "Read an EVO file, then write a copy of its program stream that keeps only the chosen\n"
        "streams, renumbered from 0 per kind, as INPUT.rebuilt.EVO\n"
        "(FEATURE_1_FEATURE_2.rebuilt.EVO when the feature goes on in FEATURE_2.EVO).\n\n"
        "  -o, --out DIR        write the file into DIR (made when missing; default: the\n"
        "                       input's folder)\n"
        "  -s, --streams LIST   the streams to keep: v0 v1 a0..a15 s0..s15, separated by\n"
        "                       commas or blanks (default: every stream found)\n"
        "%s",
        kCommonOptionsHelp);
}

}  // namespace

int rebuildCommand(int argc, char** argv) {
    return writingCommand(argc, argv, "rebuild", help, "to keep",
                          [](const fs::path& input, RunState& state, const RunOptions& options,
                             const std::array<std::string, kSlotCount>&, ConsoleHost& host) {
                              return rebuildRun(input, state, options, host);
                          });
}

}  // namespace kavrel::cli
