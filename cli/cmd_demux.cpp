#include <filesystem>
#include <string>

#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/scan_command.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

int demuxCommand(int argc, char** argv) {
    const WritingCommand command = {
        "demux", "kavrel-cli demux [OPTIONS] INPUT",
        "Read an EVO, VOB or AOB file, then write each chosen stream to an elementary-stream\n"
        "file named INPUT.LABEL.N.EXT (FEATURE_1_FEATURE_2.VC-1.stream.0.mpv when the feature\n"
        "goes on in FEATURE_2.EVO).",
        "to demux"};
    return writingCommand(
        argc, argv, command,
        // The options of demux alone, one line each.
        [](CommandLine& line, CommonOptions& options) { addExtensionOptions(line, options.run); },
        [](const fs::path& input, RunState& state, const RunOptions& options,
           const std::array<std::string, kSlotCount>& captions,
           ConsoleHost& host) { return demuxRun(input, state, options, captions, host); });
}

}  // namespace kavrel::cli
