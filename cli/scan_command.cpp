#include "cli/scan_command.h"

#include <cstdio>

#include "cli/run_report.h"
#include "engine/names.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

std::vector<fs::path> scannedInputs(const fs::path& input, const CommonOptions& options,
                                    const ConsoleHost& host) {
    std::vector<fs::path> inputs{input};
    if (!options.run.cont) return inputs;
    fs::path second = getsecond(input);
    if (second.empty()) return inputs;
    const std::string line = "Continue on " + second.filename().string();
    for (const std::string& message : host.messages()) {
        if (message == line) {
            inputs.push_back(second);
            break;
        }
    }
    return inputs;
}

int finishCommand(std::string_view command, const fs::path& input, const CommonOptions& options,
                  RunOutcome outcome, const RunState& state, ConsoleHost& host) {
    int code = exitCodeFor(outcome, host, command);
    if (options.json) {
        RunReport report;
        report.command = std::string(command);
        report.inputs = scannedInputs(input, options, host);
        report.outcome = outcome;
        report.interrupted = code == kExitInterrupted;
        report.outputs = createdOutputs(host.messages());
        report.messages = host.messages();
        if (outcome == RunOutcome::Failed) report.error = host.lastError();
        std::string text = jsonReport(report, state);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    return code;
}

}  // namespace kavrel::cli
