#pragma once
// The end the read and demux commands share: the JSON document when asked for, and the exit
// code of the run.
#include <filesystem>
#include <string_view>

#include "cli/cli_common.h"
#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel::cli {

// The files a run scanned: the input, and its follow-on file when the log shows it was read.
std::vector<std::filesystem::path> scannedInputs(const std::filesystem::path& input,
                                                 const CommonOptions& options,
                                                 const ConsoleHost& host);

// Prints the JSON document (with --json) and returns the exit code of the run.
int finishCommand(std::string_view command, const std::filesystem::path& input,
                  const CommonOptions& options, RunOutcome outcome, const RunState& state,
                  ConsoleHost& host);

}  // namespace kavrel::cli
