#include "engine/runs.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include "engine/input_kind.h"
#include "engine/io.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "engine/sinks.h"
#include "engine/stream_probe.h"
#include "engine/timefmt.h"
#include "engine/title_files.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

// Points the run state at the open input for as long as the run holds it, so the state never
// keeps a pointer to a closed file.
class StateFiles {
  public:
    explicit StateFiles(RunState& state) : state_(state) {}
    ~StateFiles() { state_.input = nullptr; }
    StateFiles(const StateFiles&) = delete;
    StateFiles& operator=(const StateFiles&) = delete;

    // Opens a part of the title as the run's input, closing the one before.
    void open(const TitlePart& part) {
        closeInput();
        input_ = part.wholeFile() ? std::make_unique<InputFile>(part.file)
                                  : std::make_unique<InputFile>(part.ranges);
        whole_ = part.wholeFile();
        state_.input = input_.get();
    }
    // Refuses a file that is empty or not a program stream, before anything is scanned.
    void checkInput() {
        if (whole_) requireProgramStream(input_->path());
    }
    void closeInput() {
        state_.input = nullptr;
        input_.reset();
    }
    InputFile& input() { return *input_; }

  private:
    RunState& state_;
    std::unique_ptr<InputFile> input_;
    bool whole_ = true;
};

// A file name as a log message shows it: literally, whatever brackets or control characters
// it holds.
std::string fileName(const fs::path& path) {
    return markupLiteral(path.filename().string());
}

// A file name as a status text shows it.
std::string statusName(const fs::path& path) {
    return escapeControls(path.filename().string());
}

// Goes on into the next part of the title (the follow-on file of a feature, the next clip),
// scanning it in the same mode, and adds it to the run's inputs. verb names the step on the
// status line ("Reading").
ScanEnd scanNextPart(StateFiles& files, const TitlePart& part, ScanOptions& scan, RunState& state,
                     EngineHost& host, std::string_view verb, ScanMode mode, RunResult& result) {
    result.inputs.push_back(part.file);
    files.open(part);
    host.log("Continue on " + fileName(part.file));
    files.checkInput();
    host.slog(std::string(verb) + " " + statusName(part.file), 0);
    scan.kind = partKind(part);
    return demux(state, scan, host, mode);
}

std::string sizeLine(const InputFile& input) {
    return "File size: " + std::to_string(input.size() / kMiB) + " Mbytes.";
}

// The end of a run that did not succeed: the status line goes back to idle, no "Done.".
RunOutcome failed(EngineHost& host, RunResult& result, std::string_view what) {
    result.error = what;
    host.log(errorLine(what));
    host.slog("Ready", 0);
    host.slog("", 1);
    return RunOutcome::Failed;
}

// Runs body, turning the failures a run can meet into a logged failure.
template <typename Body>
RunOutcome guarded(EngineHost& host, RunResult& result, Body&& body) {
    try {
        return body();
    } catch (const IoError& e) {
        return failed(host, result, e.what());
    } catch (const std::bad_alloc&) {
        return failed(host, result, "not enough memory");
    } catch (const std::exception& e) {
        return failed(host, result, e.what());
    }
}

// The output paths of the checked slots, in slot order; empty for slots that get no file.
std::array<fs::path, kSlotCount> outputPaths(const fs::path& prefix, const RunOptions& options,
                                             const std::array<std::string, kSlotCount>& captions,
                                             const StreamLists& lists, bool aob) {
    std::array<fs::path, kSlotCount> paths;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        auto s = static_cast<std::size_t>(slot);
        // A slot whose stream was not found has no caption and nothing to write.
        if (!options.scan.checked[s] || captions[s].empty()) continue;
        paths[s] = outputPath(prefix, captions[s],
                              outputExtension(slotKind(slot), lists.ofSlot(slot), options, aob));
    }
    return paths;
}

std::string refusedOutput(const fs::path& path) {
    return "Cannot create " + path.string() + ": it is the input file itself";
}

}  // namespace

RunResult readRun(const DiscTitle& title, RunState& state, const RunOptions& options,
                  EngineHost& host) {
    StateFiles files(state);
    state.cancelLogged = false;
    RunResult result;
    result.outcome = guarded(host, result, [&] {
        state.resetRunCounters();
        const std::vector<TitlePart> parts = titleParts(title);
        if (parts.empty()) throw IoError("The title has no file to read");
        const fs::path& input = parts.front().file;
        ScanOptions scan = options.scan;
        scan.kind = partKind(parts.front());

        host.log("Opening file [b]" + fileName(input) + "[/b]");
        result.inputs.push_back(input);
        files.open(parts.front());
        host.slog("Reading " + statusName(input) + " ", 0);
        host.log(sizeLine(files.input()));
        files.checkInput();
        ScanEnd end = demux(state, scan, host, ScanMode::Read);
        for (std::size_t next = 1; next < parts.size() && end == ScanEnd::EndOfInput; ++next)
            end = scanNextPart(files, parts[next], scan, state, host, "Reading", ScanMode::Read,
                               result);
        const bool userStop = end == ScanEnd::Stopped;
        result.fastCheckStopped = end == ScanEnd::FastCheckLimit;
        files.closeInput();
        state.keepStreamLists();
        state.streams.updateDelays();
        if (!userStop && noStreamFound(state.lists))
            host.log("No video, audio or subpicture stream was found.");
        endRun(host, state, userStop);
        frameReport(state, host);
        // The blank line that closes the read run's report.
        if (int64_t{state.frameCounters[0]} + state.frameCounters[1] > 0) host.log("");
        return userStop ? RunOutcome::Cancelled : RunOutcome::Done;
    });
    return result;
}

RunResult readRun(const fs::path& input, RunState& state, const RunOptions& options,
                  EngineHost& host) {
    return readRun(followOnTitle(input, options.cont), state, options, host);
}

std::array<std::string, kSlotCount> offeredCaptions(const StreamFindings& state) {
    std::array<std::string, kSlotCount> captions;
    for (const StreamInfo& info : state.streams.all())
        if (info.selectable()) captions[static_cast<std::size_t>(info.slot())] = info.caption;
    return captions;
}

namespace {

// Keeps the hook that opens late outputs set for as long as the demux run lives.
class LateSinks {
  public:
    LateSinks(RunState& state, std::function<StreamSink*(const StreamInfo&)> open) : state_(state) {
        state_.openLateSink = std::move(open);
    }
    ~LateSinks() { state_.openLateSink = nullptr; }
    LateSinks(const LateSinks&) = delete;
    LateSinks& operator=(const LateSinks&) = delete;

  private:
    RunState& state_;
};

}  // namespace

RunResult demuxRun(const DiscTitle& title, RunState& state, const RunOptions& options,
                   const std::array<std::string, kSlotCount>& captions, EngineHost& host) {
    StateFiles files(state);
    RunSinks sinks(state);
    RunResult result;
    const std::vector<TitlePart> parts = titleParts(title);
    const std::vector<fs::path> reads = title.files();
    const fs::path prefix = titleOutputFolder(title, options.workdir) / titleBaseName(title);
    SinkContext context;
    // A stream the read did not meet gets its output when the scan first meets it.
    LateSinks late(state, [&](const StreamInfo& stream) -> StreamSink* {
        if (!options.everyStream) return nullptr;
        const fs::path path =
            outputPath(prefix, stream.caption,
                       outputExtension(stream.kind, stream.key(), options, context.aob));
        if (isRunInput(path, reads)) throw IoError(refusedOutput(path));
        const SinkRequest request{stream.slot(), stream.kind, stream.key(), path};
        sinks.add(stream.slot(), makeSink(request, options, context), path);
        host.log("Creating " + markupLiteral(path.string()));
        return state.sinks[static_cast<std::size_t>(stream.slot())];
    });
    state.cancelLogged = false;
    result.outcome = guarded(host, result, [&] {
        if (parts.empty()) throw IoError("The title has no file to read");
        const fs::path& input = parts.front().file;
        // Only the frame counters and the measured duration start afresh: subpicture times are
        // made relative to the smallest first PTS the read run found.
        state.resetFrameCount();
        state.measuredDuration = 0;
        ScanOptions scan = options.scan;
        scan.kind = partKind(parts.front());
        const auto paths =
            outputPaths(prefix, options, captions, state.lists, scan.kind == InputKind::Aob);
        for (const fs::path& path : paths) {
            if (!path.empty() && isRunInput(path, reads))
                return failed(host, result, refusedOutput(path));
        }
        // Every stream is chosen, the late ones too.
        if (options.everyStream) scan.checked.fill(true);

        host.log("Opening file " + fileName(input));
        host.slog("Opening", 0);
        result.inputs.push_back(input);
        files.open(parts.front());
        host.log(sizeLine(files.input()));
        files.checkInput();
        context = sinkContext(state, scan.kind, &host);
        context.title = &title;  // its palette, frame and languages for the subtitle files
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const fs::path& path = paths[static_cast<std::size_t>(slot)];
            if (path.empty()) continue;
            const SinkRequest request{slot, slotKind(slot), state.lists.ofSlot(slot), path};
            sinks.add(slot, makeSink(request, options, context), path);
            host.log("Creating " + markupLiteral(path.string()));
        }

        host.slog("Demuxing " + statusName(input), 0);
        ScanEnd end = demux(state, scan, host, ScanMode::Demux);
        for (std::size_t next = 1; next < parts.size() && end == ScanEnd::EndOfInput; ++next)
            end = scanNextPart(files, parts[next], scan, state, host, "Demuxing", ScanMode::Demux,
                               result);
        const bool stopped = end == ScanEnd::Stopped;
        files.closeInput();
        sinks.finishAll();  // a full disk often shows only here, when the last buffers go out
        result.problems = sinks.problems();
        const auto lost =
            std::find_if(result.problems.begin(), result.problems.end(),
                         [](const StreamProblem& problem) { return !problem.usable; });
        const bool fails = lost != result.problems.end() && !stopped;
        // The summary comes right before the run's end; a step leaves it to the whole run.
        if (options.closeRun || stopped || fails)
            for (const StreamProblem& problem : result.problems) host.log(problemLine(problem));
        if (fails)
            return failed(host, result, lost->stream + ": nothing usable is left after the damage");
        state.streams.updateDelays();
        // A demux that is a step of a larger run leaves "Done." to the end of that run.
        if (stopped || options.closeRun) endRun(host, state, stopped);
        frameReport(state, host);
        return stopped ? RunOutcome::Cancelled : RunOutcome::Done;
    });
    // After a failure the outputs keep what was written and are finished all the same.
    try {
        sinks.finishAll();
    } catch (const IoError& e) {
        if (result.outcome != RunOutcome::Failed) result.outcome = failed(host, result, e.what());
    }
    result.outputs = sinks.outputs();
    return result;
}

RunResult demuxRun(const fs::path& input, RunState& state, const RunOptions& options,
                   const std::array<std::string, kSlotCount>& captions, EngineHost& host) {
    return demuxRun(followOnTitle(input, options.cont), state, options, captions, host);
}

fs::path outputFolder(const fs::path& input, const fs::path& workdir) {
    if (!workdir.empty()) return workdir;
    // Without a work folder the outputs go beside the input, never into the process's folder.
    return input.parent_path();
}

std::string problemLine(const StreamProblem& problem) {
    return problem.stream + ": " + std::to_string(problem.count) + " " + problem.what + ".";
}

bool noStreamFound(const StreamLists& lists) {
    auto none = [](const auto& table) {
        return std::all_of(table.begin(), table.end(), [](int32_t id) { return id < 0; });
    };
    return none(lists.video) && none(lists.audio) && none(lists.sub);
}

void endRun(EngineHost& host, RunState& state, bool cancelled) {
    if (!cancelled) {
        host.log("Done.");
    } else if (!state.cancelLogged) {
        host.log("Cancelled.");
    }
    state.cancelLogged = false;
    host.log("");
    host.slog("Ready", 0);
    host.slog("", 1);
}

void frameReport(const RunState& state, EngineHost& host) {
    for (int n = 0; n < 2; ++n) {
        const int32_t frames = state.frameCounters[n];
        const double rate = state.frameRates[n];
        const std::string stream = " in video stream " + std::to_string(n) + ".";
        if (frames > 0 && rate > 0)
            host.log(std::to_string(frames) + " counted frames ([b]" +
                     formatDuration(frames / rate) + "[/b])" + stream);
        else if (frames > 0)
            host.log(std::to_string(frames) + " frames count" + stream);
        if (rate > 0)
            host.log(std::to_string(std::llround(rate * state.measuredDuration)) +
                     " calculated frames.");
    }
}

}  // namespace kavrel
