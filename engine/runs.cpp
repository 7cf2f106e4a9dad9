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

    // Opens path as the run's input, closing the one before.
    void openInput(const fs::path& path) {
        state_.input = nullptr;
        input_.reset();
        input_ = std::make_unique<InputFile>(path);
        state_.input = input_.get();
    }
    // Refuses an input that is empty or not a program stream, before anything is scanned.
    void checkInput() { requireProgramStream(input_->path()); }
    void closeInput() {
        state_.input = nullptr;
        input_.reset();
    }
    InputFile& input() { return *input_; }

  private:
    RunState& state_;
    std::unique_ptr<InputFile> input_;
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

// Goes on into the follow-on file of a feature, scanning it in the same mode, when the run wants
// it and was not stopped, and adds it to the run's inputs. verb names the step on the status line
// ("Reading"). Returns whether it did.
bool scanFollowOn(StateFiles& files, const fs::path& second, const RunOptions& options,
                  ScanOptions& scan, RunState& state, EngineHost& host, std::string_view verb,
                  ScanMode mode, RunResult& result) {
    if (!options.cont || state.stopFlag.load() || second.empty()) return false;
    result.inputs.push_back(second);
    files.openInput(second);
    host.log("Continue on " + fileName(second));
    files.checkInput();
    host.slog(std::string(verb) + " " + statusName(second), 0);
    scan.kind = inputKindOf(second);
    demux(state, scan, host, mode);
    return true;
}

std::string sizeLine(const InputFile& input) {
    return "File size: " + std::to_string(input.size() / kMiB) + " Mbytes.";
}

void logError(EngineHost& host, std::string_view what) {
    host.log("[re]Error: " + markupLiteral(what) + "[/re]");
}

// The end of a run that did not succeed: the status line goes back to idle, no "Done.".
RunOutcome failed(EngineHost& host, RunResult& result, std::string_view what) {
    result.error = what;
    logError(host, what);
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
        std::string ext = slot < audioSlot(0) ? options.videoExt
                          : slot < subSlot(0) ? options.audioExt
                                              : options.subExt;
        if (slot >= audioSlot(0) && slot < subSlot(0) &&
            writesWav(lists.ofSlot(slot), options, aob))
            ext = kWavExtension;
        paths[s] = prefix;
        paths[s] += "." + captions[s] + "." + ext;
    }
    return paths;
}

// Whether writing to output would replace one of the run's inputs.
bool isInput(const fs::path& output, const fs::path& input, const std::vector<fs::path>& more) {
    auto same = [&](const fs::path& in) {
        if (in.empty()) return false;
        if (sameFile(output, in)) return true;
        std::error_code ec;
        fs::path a = fs::weakly_canonical(output, ec);
        if (ec) a = fs::absolute(output, ec);
        fs::path b = fs::weakly_canonical(in, ec);
        if (ec) b = fs::absolute(in, ec);
        return a == b;
    };
    return same(input) || std::any_of(more.begin(), more.end(), same);
}

}  // namespace

RunResult readRun(const fs::path& input, RunState& state, const RunOptions& options,
                  EngineHost& host) {
    StateFiles files(state);
    state.cancelLogged = false;
    RunResult result;
    result.outcome = guarded(host, result, [&] {
        state.resetRunCounters();
        const std::vector<fs::path> more = followOnFiles(input, options);
        ScanOptions scan = options.scan;
        scan.kind = inputKindOf(input);

        host.log("Opening file [b]" + fileName(input) + "[/b]");
        result.inputs.push_back(input);
        files.openInput(input);
        host.slog("Reading " + statusName(input) + " ", 0);
        host.log(sizeLine(files.input()));
        files.checkInput();
        demux(state, scan, host, ScanMode::Read);

        // The fast check stops a read run by the same flag as Cancel; only a stop before the
        // check's limit was asked for by the user.
        auto fastCheckStop = [&] {
            return state.stopFlag.load() && scan.fastCheck &&
                   files.input().position() > scan.fastCheckLimit &&
                   files.input().position() < files.input().size();
        };
        auto cancelled = [&] {
            return state.stopFlag.load() &&
                   !(scan.fastCheck && files.input().position() > scan.fastCheckLimit);
        };
        bool userStop = cancelled();
        result.fastCheckStopped = fastCheckStop();
        for (const fs::path& next : more) {
            if (!scanFollowOn(files, next, options, scan, state, host, "Reading", ScanMode::Read,
                              result))
                break;
            userStop = cancelled();
            result.fastCheckStopped = result.fastCheckStopped || fastCheckStop();
        }
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

std::array<std::string, kSlotCount> offeredCaptions(const RunState& state) {
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

std::string extensionOf(const StreamInfo& stream, const RunOptions& options, bool aob) {
    switch (stream.kind) {
        case StreamKind::Video:
            return options.videoExt;
        case StreamKind::Audio:
            return writesWav(stream.key(), options, aob) ? kWavExtension : options.audioExt;
        case StreamKind::Subpicture:
            break;
    }
    return options.subExt;
}

}  // namespace

RunResult demuxRun(const fs::path& input, RunState& state, const RunOptions& options,
                   const std::array<std::string, kSlotCount>& captions, EngineHost& host) {
    StateFiles files(state);
    RunSinks sinks(state);
    RunResult result;
    const std::vector<fs::path> more = followOnFiles(input, options);
    const fs::path second = more.empty() ? fs::path() : more.front();
    const fs::path prefix = outputFolder(input, options.workdir) / runBaseName(input, second);
    SinkContext context;
    // A stream the read did not meet gets its output when the scan first meets it.
    LateSinks late(state, [&](const StreamInfo& stream) -> StreamSink* {
        if (!options.everyStream) return nullptr;
        fs::path path = prefix;
        path += "." + stream.caption + "." + extensionOf(stream, options, context.aob);
        if (isInput(path, input, more))
            throw IoError("Cannot create " + path.string() + ": it is the input file itself");
        const SinkRequest request{stream.slot(), stream.kind, stream.key(), path};
        sinks.add(stream.slot(), makeSink(request, options, context), path);
        host.log("Creating " + markupLiteral(path.string()));
        return state.sinks[static_cast<std::size_t>(stream.slot())];
    });
    state.cancelLogged = false;
    result.outcome = guarded(host, result, [&] {
        // Only the frame counters and the measured duration start afresh: subpicture times are
        // made relative to the smallest first PTS the read run found.
        state.resetFrameCount();
        state.measuredDuration = 0;
        ScanOptions scan = options.scan;
        scan.kind = inputKindOf(input);
        const auto paths =
            outputPaths(prefix, options, captions, state.lists, scan.kind == InputKind::Aob);
        for (const fs::path& path : paths) {
            if (!path.empty() && isInput(path, input, more))
                return failed(host, result,
                              "Cannot create " + path.string() + ": it is the input file itself");
        }
        // Every stream is chosen, the late ones too.
        if (options.everyStream) scan.checked.fill(true);

        host.log("Opening file " + fileName(input));
        host.slog("Opening", 0);
        result.inputs.push_back(input);
        files.openInput(input);
        host.log(sizeLine(files.input()));
        files.checkInput();
        context = sinkContext(state, scan.kind, &host);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const fs::path& path = paths[static_cast<std::size_t>(slot)];
            if (path.empty()) continue;
            const SinkRequest request{slot, slotKind(slot), state.lists.ofSlot(slot), path};
            sinks.add(slot, makeSink(request, options, context), path);
            host.log("Creating " + markupLiteral(path.string()));
        }

        host.slog("Demuxing " + statusName(input), 0);
        demux(state, scan, host, ScanMode::Demux);
        for (const fs::path& next : more) {
            if (!scanFollowOn(files, next, options, scan, state, host, "Demuxing", ScanMode::Demux,
                              result))
                break;
        }
        const bool stopped = state.stopFlag.load();
        files.closeInput();
        sinks.finishAll();  // a full disk often shows only here, when the last buffers go out
        result.problems = sinks.problems();
        for (const StreamProblem& problem : result.problems) host.log(problemLine(problem));
        for (const StreamProblem& problem : result.problems)
            if (!problem.usable && !stopped)
                return failed(host, result,
                              problem.stream + ": nothing usable is left after the damage");
        state.streams.updateDelays();
        endRun(host, state, stopped);
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

std::vector<fs::path> followOnFiles(const fs::path& input, const RunOptions& options) {
    if (!options.cont) return {};
    if (options.followOn) return *options.followOn;
    return followOnChain(input);
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
