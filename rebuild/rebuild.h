#pragma once
// Rebuild: a filtered copy of a program stream that keeps the selected streams, renumbered
// densely per kind in order of first appearance, with the system header's bounds patched.
#include <array>
#include <cstdint>
#include <filesystem>

#include "engine/host.h"
#include "engine/io.h"
#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel {

// The renumbering shared by an input and its follow-on file.
struct Renumbering {
    std::array<uint8_t, 256> table;  // new identifier per stream key; 255: none yet
    uint8_t video = 0, audio = 0, sub = 0;
    Renumbering() { table.fill(255); }
};

// Filters and renumbers one pack in place; returns whether it is written. size may be short.
bool filterPack(uint8_t* pack, std::size_t size, const StreamLists& lists,
                const std::array<bool, kSlotCount>& checked, Renumbering& renumbering);

// The pack loop over one open input, appending to output. Throws IoError.
void Rebuild(RunState& state, InputFile& input, OutputFile& output, Renumbering& renumbering,
             const std::array<bool, kSlotCount>& checked, EngineHost& host);

// The whole run: names, "Opening file", the follow-on file, "Done.". Errors are logged.
RunOutcome rebuildRun(const std::filesystem::path& input, RunState& state,
                      const RunOptions& options, EngineHost& host);

}  // namespace kavrel
