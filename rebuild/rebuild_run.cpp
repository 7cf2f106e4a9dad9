// The rebuild run: names the output, opens the input and its follow-on file in turn, runs the
// pack loop over each into the one output, and reports.
#include <algorithm>
#include <exception>
#include <memory>
#include <string>

#include "engine/markup.h"
#include "engine/names.h"
#include "engine/stream_probe.h"
#include "rebuild/rebuild.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

fs::path normalised(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

// Whether writing output would replace the file at input (the same name, or a link to it).
bool wouldReplace(const fs::path& output, const fs::path& input) {
    return sameFile(output, input) || normalised(output) == normalised(input);
}

void closeQuietly(std::unique_ptr<OutputFile>& output) {
    if (!output) return;
    try {
        output->close();
    } catch (const IoError&) {
        // Already failing: the first error is the one reported.
    }
    output.reset();
}

}  // namespace

fs::path rebuildOutputPath(const fs::path& input, const RunOptions& options) {
    const std::vector<fs::path> more = followOnFiles(input, options);
    const fs::path second = more.empty() ? fs::path() : more.front();
    return outputFolder(input, options.workdir) / (runBaseName(input, second) + ".rebuilt.EVO");
}

RunResult rebuildRun(const fs::path& inputPath, RunState& state, const RunOptions& options,
                     EngineHost& host) {
    Renumbering renumbering;  // shared by the input and its follow-on file
    const std::vector<fs::path> more = followOnFiles(inputPath, options);
    const fs::path outputPath = rebuildOutputPath(inputPath, options);
    const auto& checked = options.scan.checked;

    std::unique_ptr<InputFile> input;
    std::unique_ptr<OutputFile> output;
    RunResult result;
    state.cancelLogged = false;
    try {
        const std::string name = inputPath.filename().string();
        host.log("Opening file " + markupLiteral(name));
        host.slog("Opening", 0);
        if (wouldReplace(outputPath, inputPath) ||
            std::any_of(more.begin(), more.end(),
                        [&](const fs::path& next) { return wouldReplace(outputPath, next); }))
            throw IoError("Cannot create " + outputPath.string() +
                          ": it is an input file of this run");
        result.inputs.push_back(inputPath);
        input = std::make_unique<InputFile>(inputPath);
        host.log("File size: " + std::to_string(input->size() / kMiB) + " Mbytes.");
        requireProgramStream(inputPath);
        output = std::make_unique<OutputFile>(outputPath);
        result.outputs.push_back({outputPath, 0});
        host.log("Creating " + markupLiteral(outputPath.string()));
        host.slog("Rebuilding " + escapeControls(name), 0);
        Rebuild(state, *input, *output, renumbering, checked, host);

        for (const fs::path& second : more) {
            if (state.stopFlag) break;
            input.reset();
            result.inputs.push_back(second);
            input = std::make_unique<InputFile>(second);
            const std::string secondName = second.filename().string();
            host.log("Continue on " + markupLiteral(secondName));
            requireProgramStream(second);
            host.slog("Rebuilding " + escapeControls(secondName), 0);
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
        host.log("[re]Error: " + markupLiteral(error.what()) + "[/re]");
        host.slog("Ready", 0);
        host.slog("", 1);
        result.outcome = RunOutcome::Failed;
        result.error = error.what();
    }
    return result;
}

}  // namespace kavrel
