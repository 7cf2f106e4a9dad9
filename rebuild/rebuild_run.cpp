// The rebuild run: names the output, opens the input and its follow-on file in turn, runs the
// pack loop over each into the one output, and reports.
#include <algorithm>
#include <exception>
#include <memory>
#include <string>

#include "engine/markup.h"
#include "engine/names.h"
#include "engine/stream_probe.h"
#include "engine/title_files.h"
#include "rebuild/rebuild.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

void closeQuietly(std::unique_ptr<OutputFile>& output) {
    if (!output) return;
    try {
        output->close();
    } catch (const IoError&) {
        // Already failing: the first error is the one reported.
    }
    output.reset();
}

std::unique_ptr<InputFile> openPart(const TitlePart& part) {
    return part.wholeFile() ? std::make_unique<InputFile>(part.file)
                            : std::make_unique<InputFile>(part.ranges);
}

}  // namespace

fs::path rebuildOutputPath(const DiscTitle& title, const RunOptions& options) {
    return titleOutputFolder(title, options.workdir) / (titleBaseName(title) + ".rebuilt.EVO");
}

fs::path rebuildOutputPath(const fs::path& input, const RunOptions& options) {
    return rebuildOutputPath(followOnTitle(input, options.cont), options);
}

RunResult rebuildRun(const DiscTitle& title, RunState& state, const RunOptions& options,
                     EngineHost& host) {
    Renumbering renumbering;  // shared by every file of the title
    const std::vector<TitlePart> parts = titleParts(title);
    const fs::path outputPath = rebuildOutputPath(title, options);
    const auto& checked = options.scan.checked;

    std::unique_ptr<InputFile> input;
    std::unique_ptr<OutputFile> output;
    RunResult result;
    state.cancelLogged = false;
    try {
        if (parts.empty()) throw IoError("The title has no file to read");
        const std::string name = parts.front().file.filename().string();
        host.log("Opening file " + markupLiteral(name));
        host.slog("Opening", 0);
        if (isRunInput(outputPath, title.files()))
            throw IoError("Cannot create " + outputPath.string() +
                          ": it is an input file of this run");
        result.inputs.push_back(parts.front().file);
        input = openPart(parts.front());
        host.log("File size: " + std::to_string(input->size() / kMiB) + " Mbytes.");
        if (parts.front().wholeFile()) requireProgramStream(parts.front().file);
        output = std::make_unique<OutputFile>(outputPath);
        result.outputs.push_back({outputPath, 0});
        host.log("Creating " + markupLiteral(outputPath.string()));
        host.slog("Rebuilding " + escapeControls(name), 0);
        Rebuild(state, *input, *output, renumbering, checked, host);

        for (std::size_t next = 1; next < parts.size() && !state.stopFlag; ++next) {
            const TitlePart& part = parts[next];
            input.reset();
            result.inputs.push_back(part.file);
            input = openPart(part);
            const std::string partName = part.file.filename().string();
            host.log("Continue on " + markupLiteral(partName));
            if (part.wholeFile()) requireProgramStream(part.file);
            host.slog("Rebuilding " + escapeControls(partName), 0);
            Rebuild(state, *input, *output, renumbering, checked, host);
        }
        input.reset();
        output->close();
        result.outputs.back().bytes = output->written();
        output.reset();
        if (state.stopFlag) result.outcome = RunOutcome::Cancelled;
        endRun(host, state, result.outcome == RunOutcome::Cancelled);
    } catch (const std::exception& error) {  // IoError, or no memory for the block buffer
        input.reset();
        if (output) result.outputs.back().bytes = output->written();
        closeQuietly(output);
        host.log(errorLine(error.what()));
        host.slog("Ready", 0);
        host.slog("", 1);
        result.outcome = RunOutcome::Failed;
        result.error = error.what();
    }
    return result;
}

RunResult rebuildRun(const fs::path& input, RunState& state, const RunOptions& options,
                     EngineHost& host) {
    return rebuildRun(followOnTitle(input, options.cont), state, options, host);
}

}  // namespace kavrel
