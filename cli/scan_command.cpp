#include "cli/scan_command.h"

#include <cstdio>
#include <optional>
#include <string>

#include "cli/run_report.h"
#include "cli/standard_output.h"
#include "engine/markup.h"
#include "engine/names.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

std::vector<fs::path> scannedInputs(const fs::path& input, const CommonOptions& options,
                                    const ConsoleHost& host) {
    std::vector<fs::path> inputs{input};
    if (!options.run.cont) return inputs;
    fs::path second = getsecond(input);
    if (second.empty()) return inputs;
    const std::string line = "Continue on " + escapeControls(second.filename().string());
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
        writeOut(text);
        flushOut();
    }
    return code;
}

std::optional<std::array<bool, kSlotCount>> chosenStreams(
    const CommonOptions& options, const std::array<std::string, kSlotCount>& captions,
    const fs::path& input, std::string_view purpose, ConsoleHost& host) {
    std::array<bool, kSlotCount> checked{};
    std::string missing;
    bool any = false;
    for (std::size_t slot = 0; slot < checked.size(); ++slot) {
        const bool found = !captions[slot].empty();
        const bool wanted = options.streams ? (*options.streams)[slot] : true;
        if (wanted && !found && options.streams)
            missing += (missing.empty() ? "" : " ") + slotName(static_cast<int>(slot));
        checked[slot] = wanted && found;
        any = any || checked[slot];
    }
    const std::string name = markupLiteral(input.filename().string());
    if (!missing.empty()) {
        host.log("[re]Error: no stream " + missing + " in " + name + "[/re]");
        return std::nullopt;
    }
    if (!any) {
        host.log("[re]Error: no stream " + std::string(purpose) + " in " + name + "[/re]");
        return std::nullopt;
    }
    return checked;
}

int writingCommand(int argc, char** argv, const WritingCommand& spec, const OwnOptions& ownOptions,
                   const WritingRun& write) {
    const std::string_view command = spec.name;
    const std::string_view purpose = spec.purpose;
    CommonOptions options;
    CommandLine line(command, spec.usage, spec.description);
    addCommonOptions(line, options);
    addWriteOptions(line, options);
    if (ownOptions) ownOptions(line, options);
    if (int code = line.parse(argc, argv); code >= 0) return code;
    std::string input;
    if (int code = singleInput(options, command, input); code >= 0) return code;
    if (int code = prepareOutputFolder(options, command); code >= 0) return code;

    RunState state;
    ConsoleHost host(options.quiet || options.json, !options.quiet);
    InterruptGuard guard(state);
    RunOutcome outcome = readRun(input, state, options.run, host);
    if (outcome != RunOutcome::Done || interrupted())
        return finishCommand(command, input, options, outcome, state, host);

    // The streams offered are those the read run listed; the second run works on the same lists.
    const auto captions = offeredCaptions(state);
    const auto checked = chosenStreams(options, captions, input, purpose, host);
    if (!checked) return finishCommand(command, input, options, RunOutcome::Failed, state, host);
    options.run.scan.checked = *checked;
    outcome = write(input, state, options.run, captions, host);
    return finishCommand(command, input, options, outcome, state, host);
}

}  // namespace kavrel::cli
