#pragma once
// The --json document of the read, demux and rebuild commands: what was read, the streams found
// with their properties, first PTS and delay, the frame counts and rates, the measured duration,
// the outputs and every log line. Built from the run's result and stream table only.
#include <optional>
#include <string>
#include <vector>

#include "cli/stream_names.h"
#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel::cli {

struct RunReport {
    std::string command;  // "read", "demux" or "rebuild"
    RunResult result;
    bool interrupted = false;
    std::vector<std::string> messages;  // the log, plain text
    // The playlist's language and description of each stream, by stream table index, when a
    // title of the disc's playlist plays the input.
    std::optional<std::vector<TrackNames>> names;
};

// The JSON document of a finished run.
std::string jsonReport(const RunReport& report, const StreamFindings& state);

}  // namespace kavrel::cli
