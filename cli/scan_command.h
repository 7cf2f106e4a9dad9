#pragma once
// What the read, demux and rebuild commands share: the run that writes after a read, the JSON
// document when asked for, and the exit code of the run.
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cli/cli_common.h"
#include "engine/run_state.h"
#include "engine/runs.h"
#include "session/session.h"

namespace kavrel::cli {

// Prints the JSON document (with --json) and returns the exit code of the run.
int finishCommand(std::string_view command, const CommonOptions& options, const RunResult& result,
                  const session::Session& session, ConsoleHost& host);

// Opens the command's input in the session: a file (with the playlist beside it), or the title
// of a disc that --title names. Returns -1 when fine, else the exit code after saying why.
int openInput(session::Session& session, const std::string& input, const CommonOptions& options,
              std::string_view command);

// The second run of a writing command, on the session's read with options.scan.checked set.
using WritingRun = std::function<RunResult(session::Session& session, const RunOptions& options,
                                           const std::array<std::string, kSlotCount>& captions,
                                           ConsoleHost& host)>;

// Adds a writing command's own options to its command line, one line each.
using OwnOptions = std::function<void(CommandLine& line, CommonOptions& options)>;

struct WritingCommand {
    std::string_view name;     // "demux"
    std::string usage;         // the help's usage line
    std::string description;   // the help's text
    std::string_view purpose;  // "to demux": the failure says "no stream to demux in NAME"
};

// The streams -s names (all when it is not given) among those the read run found, for a
// command whose purpose is command.purpose ("to demux"). Logs the failure, gives it in error
// and returns nullopt when a named stream was not found or none is left.
std::optional<std::array<bool, kSlotCount>> chosenStreams(
    const CommonOptions& options, const std::array<std::string, kSlotCount>& captions,
    const std::filesystem::path& input, const WritingCommand& command, const RunResult& read,
    ConsoleHost& host, std::string& error);

// A command that reads its one input and then writes from it (demux, rebuild): parses the
// shared options, -o and -s and its own, makes the -o folder, reads the input and hands the
// streams chosen with -s (every stream without it, also those found only after the read's fast
// check stopped) to `write`. A chosen stream the read did not find, or no stream at all, fails
// the command with "no stream ... in NAME".
int writingCommand(int argc, char** argv, const WritingCommand& command,
                   const OwnOptions& ownOptions, const WritingRun& write);

}  // namespace kavrel::cli
