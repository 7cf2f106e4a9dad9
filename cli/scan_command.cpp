#include "cli/scan_command.h"

#include <cstdio>
#include <optional>
#include <string>

#include "cli/run_report.h"
#include "cli/standard_output.h"
#include "cli/stream_names.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "playlist/disc_layout.h"

namespace kavrel::cli {

namespace fs = std::filesystem;

int openInput(session::Session& session, const std::string& input, const CommonOptions& options,
              std::string_view command) {
    const std::string problem = session.open(input, options.title, options.run.cont,
                                             playlist::playlistBeside(input), options.angle);
    return problem.empty() ? -1 : failure(command, escapeControls(problem));
}

int finishCommand(std::string_view command, const CommonOptions& options, const RunResult& result,
                  const session::Session& session, ConsoleHost& host) {
    const StreamFindings& state = session.findings();
    int code = exitCodeFor(result, host, command);
    if (options.json) {
        RunReport report;
        report.command = std::string(command);
        report.result = result;
        report.interrupted = code == interruptedExitCode();
        report.messages = host.messages();
        if (!state.streams.empty()) report.names = titleNames(session, state.streams);
        std::string text = jsonReport(report, state);
        writeOut(text);
        flushOut();
    }
    return code;
}

std::optional<std::array<bool, kSlotCount>> chosenStreams(
    const CommonOptions& options, const std::array<std::string, kSlotCount>& captions,
    const fs::path& input, const WritingCommand& command, const RunResult& read, ConsoleHost& host,
    std::string& error) {
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
    const std::string name = input.filename().string();
    if (!missing.empty())
        error = "no stream " + missing + " in " + name;
    else if (!any)
        error = "no stream " + std::string(command.purpose) + " in " + name;
    else
        return checked;
    // A stream may lie beyond what the fast check read.
    if (read.fastCheckStopped)
        error += " (only its first " + std::to_string(options.run.scan.fastCheckLimit / 1'000'000) +
                 " MB were read: try --no-fast-check)";
    host.log(errorLine(error));
    return std::nullopt;
}

int writingCommand(int argc, char** argv, const WritingCommand& writing,
                   const OwnOptions& ownOptions, const WritingRun& write) {
    const std::string_view command = writing.name;
    CommonOptions options;
    CommandLine line(command, writing.usage, writing.description);
    addCommonOptions(line, options);
    addWriteOptions(line, options);
    if (ownOptions) ownOptions(line, options);
    if (int code = line.parse(argc, argv); code >= 0) return code;
    std::string input;
    if (int code = singleInput(options, command, input); code >= 0) return code;

    session::Session session;
    if (int code = openInput(session, input, options, command); code >= 0) return code;
    ConsoleHost host(options.quiet || options.json, !options.quiet);
    // An output folder that cannot be used fails the command before anything is read.
    if (std::string problem = outputFolderProblem(options); !problem.empty()) {
        RunResult refused;
        refused.outcome = RunOutcome::Failed;
        refused.error = std::move(problem);
        return finishCommand(command, options, refused, session, host);
    }
    InterruptGuard guard(session.stopRequest());
    const RunResult read = session.read(options.run, host);
    if (read.outcome != RunOutcome::Done || interrupted())
        return finishCommand(command, options, read, session, host);

    // The streams offered are those the read run listed; the second run works on the same lists.
    const auto captions = session.offeredCaptions();
    std::string error;
    const auto checked =
        chosenStreams(options, captions, session.input(), writing, read, host, error);
    if (!checked) {
        RunResult refused = read;
        refused.outcome = RunOutcome::Failed;
        refused.error = error;
        return finishCommand(command, options, refused, session, host);
    }
    options.run.scan.checked = *checked;
    // Without -s every stream is written, also one the read's fast check did not reach.
    options.run.everyStream = !options.streams;
    RunResult written = write(session, options.run, captions, host);
    written.fastCheckStopped = read.fastCheckStopped;
    return finishCommand(command, options, written, session, host);
}

}  // namespace kavrel::cli
