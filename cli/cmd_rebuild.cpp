#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"
#include "rebuild/rebuild.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

int rebuildCommand(int argc, char** argv) {
    const WritingCommand command = {
        "rebuild", "kavrel-cli rebuild [OPTIONS] INPUT",
        "Read an EVO file, then write a copy of its program stream that keeps only the chosen\n"
        "streams, renumbered from 0 per kind, as INPUT.rebuilt.EVO\n"
        "(FEATURE_1_FEATURE_2.rebuilt.EVO when the feature goes on in FEATURE_2.EVO).",
        "to keep"};
    return writingCommand(argc, argv, command, {},
                          [](session::Session& session, const RunOptions& options,
                             const std::array<std::string, kSlotCount>&,
                             ConsoleHost& host) { return session.rebuild(options, host); });
}

}  // namespace kavrel::cli
