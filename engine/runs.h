#pragma once
// The read and demux runs around the scanner, without any window: opening the input, the
// follow-on file, creating the outputs, and the messages that open and close a run.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/demux.h"
#include "engine/disc_title.h"
#include "engine/host.h"
#include "engine/run_state.h"

namespace kavrel {

struct RunOptions {
    ScanOptions scan;
    bool cont = true;  // "Continue with second  EVO"
    std::string videoExt = "mpv";
    std::string audioExt = "mpa";
    std::string subExt = "sup";
    std::filesystem::path workdir;  // empty: the outputs go beside the input
    bool lpcmAsWav = false;         // LPCM streams are written as WAV files ("….wav")
    bool subsAsPgs = false;         // subpicture streams are written as Blu-ray PGS files
    // A demux that is one step of a larger run (mkv) leaves the closing "Done." to that run.
    bool closeRun = true;
    bool subsAsVobsub = false;  // … or as VobSub: the ".sub" file and an ".idx" beside it
    // Demux: write every stream the input carries, also those the read did not meet (after
    // the fast check stopped it): their outputs are made when the scan first meets them.
    bool everyStream = false;
};

enum class RunOutcome { Done, Cancelled, Failed };

struct OutputWritten {
    std::filesystem::path path;
    uint64_t bytes = 0;
    int slot = -1;  // the stream's check-box slot; -1 for an output of no one stream
};

// What damage cost one stream of a run: "Subpicture stream 0", 1, "damaged unit skipped".
struct StreamProblem {
    std::string stream;
    uint64_t count = 0;
    std::string what;
    bool usable = true;  // the stream's output holds something all the same
};

// The run's summary line of a stream that lost something.
std::string problemLine(const StreamProblem& problem);

// What a run did, as data for whoever reports on it; the streams it found are in the run
// state's stream table.
struct RunResult {
    RunOutcome outcome = RunOutcome::Done;
    std::string error;                          // why it failed, as plain text
    std::vector<std::filesystem::path> inputs;  // the files read, in order
    std::vector<OutputWritten> outputs;         // the files written, with their sizes
    bool fastCheckStopped = false;              // the fast check ended a read before the end
    std::vector<StreamProblem> problems;        // per stream, what damage cost it

    bool operator==(RunOutcome other) const { return outcome == other; }
};

// The read run: resets the counters, scans the title's files in turn in mode 0 (each with its
// "Opening file" or "Continue on" line), keeps the stream lists, logs "Done." and gives the frame
// report. Errors are logged.
RunResult readRun(const DiscTitle& title, RunState& state, const RunOptions& options,
                  EngineHost& host);
// The same over the input and, with options.cont, its follow-on file (followOnTitle).
RunResult readRun(const std::filesystem::path& input, RunState& state, const RunOptions& options,
                  EngineHost& host);

// The captions of the boxes a read run offers, in slot order; empty for streams not found. The
// streams of the input and of its follow-on file are offered alike.
std::array<std::string, kSlotCount> offeredCaptions(const StreamFindings& state);

// The demux run: one output per checked slot, named prefix + "." + caption + "." + extension,
// scanned in mode 1 over the title's files. No output may be a file the title reads. Errors
// are logged; every file is closed on every path out.
RunResult demuxRun(const DiscTitle& title, RunState& state, const RunOptions& options,
                   const std::array<std::string, kSlotCount>& captions, EngineHost& host);
// The same over the input and, with options.cont, its follow-on file (followOnTitle).
RunResult demuxRun(const std::filesystem::path& input, RunState& state, const RunOptions& options,
                   const std::array<std::string, kSlotCount>& captions, EngineHost& host);

// The folder the outputs go to: the work folder, or the input's folder when none is set.
std::filesystem::path outputFolder(const std::filesystem::path& input,
                                   const std::filesystem::path& workdir);

// "N counted frames (h:mm:ss.zzz) in video stream 0." … and the calculated frames.
void frameReport(const RunState& state, EngineHost& host);

// Whether a read found no stream at all.
bool noStreamFound(const StreamLists& lists);

// The closing lines of a run: "Done.", or "Cancelled." for a run the user stopped (unless
// whoever stopped it logged that already: state.cancelLogged), an empty line, and the idle
// status line.
void endRun(EngineHost& host, RunState& state, bool cancelled);

}  // namespace kavrel
