#pragma once
// Rebuild: a filtered copy of a program stream that keeps the selected streams, renumbered
// densely per kind in order of first appearance, with the system header's bounds patched.
#include <array>
#include <cstdint>
#include <filesystem>

#include "engine/host.h"
#include "engine/io.h"
#include "engine/pes_header.h"
#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel {

// The renumbering shared by an input and its follow-on file, so both are renumbered alike.
struct Renumbering {
    static constexpr uint8_t kNone = 255;        // no new identifier assigned (yet)
    std::array<uint8_t, kStreamKeyCount> table;  // new identifier per stream key (streamKey)
    uint8_t video = 0, audio = 0, sub = 0;       // identifiers handed out so far, per kind
    std::array<bool, kStreamKeyCount> taken{};   // by the key of a new identifier: handed out
    Renumbering() { table.fill(kNone); }
};

// Filters and renumbers one pack in place; returns whether it is written. A pack without a
// pack start code is never written. size may be short (the last pack of a truncated file);
// nothing past pack[size - 1] is read or written.
bool filterPack(uint8_t* pack, std::size_t size, const StreamLists& lists,
                const std::array<bool, kSlotCount>& checked, Renumbering& renumbering);

// The pack loop over one open input, from its current position to its end or until the stop
// flag is set, appending the kept packs to output. Throws IoError.
void Rebuild(RunState& state, InputFile& input, OutputFile& output, Renumbering& renumbering,
             const std::array<bool, kSlotCount>& checked, EngineHost& host);

// The output a rebuild of input writes: the run's base name (with the follow-on file's name
// when options.cont is on and one exists) + ".rebuilt.EVO", in the work folder or beside the input.
std::filesystem::path rebuildOutputPath(const DiscTitle& title, const RunOptions& options);
std::filesystem::path rebuildOutputPath(const std::filesystem::path& input,
                                        const RunOptions& options);

// The whole run over a title's files: names, "Opening file", "Continue on" each further file,
// "Done.". It filters on
// state.lists (the last read run's streams) with options.scan.checked as the selection.
// Errors are logged in red and give RunOutcome::Failed; what was written is kept.
RunResult rebuildRun(const DiscTitle& title, RunState& state, const RunOptions& options,
                     EngineHost& host);
// The same over the input and, with options.cont, its follow-on file (followOnTitle).
RunResult rebuildRun(const std::filesystem::path& input, RunState& state, const RunOptions& options,
                     EngineHost& host);

}  // namespace kavrel
