#pragma once
// The --json document of the read and demux commands: what was read, the streams found, the
// frame counts and rates, the measured duration, the outputs and every log line.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel::cli {

struct RunReport {
    std::string command;                        // "read" or "demux"
    std::vector<std::filesystem::path> inputs;  // the files scanned, in order
    RunOutcome outcome = RunOutcome::Done;
    bool interrupted = false;
    std::vector<std::filesystem::path> outputs;  // demux: the files created
    std::vector<std::string> messages;           // the log, plain text
    std::string error;                           // the failure message, if any
};

// The first PTS the log reported for each stream id: each "First PTS = X" line is followed by
// the stream's "Substream id = Y" line. The first report of an id wins.
std::map<int32_t, uint32_t> firstPtsById(const std::vector<std::string>& messages);

// The JSON document of a finished run.
std::string jsonReport(const RunReport& report, const RunState& state);

// The files a demux run created, from its "Creating …" lines.
std::vector<std::filesystem::path> createdOutputs(const std::vector<std::string>& messages);

}  // namespace kavrel::cli
