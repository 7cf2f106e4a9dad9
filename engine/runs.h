#pragma once
// The read and demux runs around the scanner, without any window: opening the input, the
// follow-on file, creating the outputs, and the messages that open and close a run.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/demux.h"
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
    // The files the run goes on to after the input, in order (the further clips of a title), in
    // place of the follow-on file its name gives; only when cont is set.
    std::optional<std::vector<std::filesystem::path>> followOn;
};

// The files a run goes on to after the input: options.followOn, or the follow-on file of the
// input's name (getsecond); none when options.cont is off.
std::vector<std::filesystem::path> followOnFiles(const std::filesystem::path& input,
                                                 const RunOptions& options);

enum class RunOutcome { Done, Cancelled, Failed };

// The read run: resets the counters, scans the input (and its follow-on file) in mode 0,
// keeps the stream lists, logs "Done." and gives the frame report. Errors are logged.
RunOutcome readRun(const std::filesystem::path& input, RunState& state, const RunOptions& options,
                   EngineHost& host);

// The captions of the boxes a read run offers, in slot order; empty for streams not found.
std::array<std::string, kSlotCount> offeredCaptions(const RunState& state);

// The demux run: one output per checked slot, named prefix + "." + caption + "." + extension,
// scanned in mode 1 over the input and its follow-on file. Errors are logged; every file is
// closed on every path out.
RunOutcome demuxRun(const std::filesystem::path& input, RunState& state, const RunOptions& options,
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
