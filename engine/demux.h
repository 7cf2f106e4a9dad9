#pragma once
// The program-stream scanner: reads the input chunk by chunk, walks it byte by byte, finds PES
// packets by their start codes, announces streams, counts frames and, in a demux scan, hands the
// payload of the selected streams to their sinks.
#include <array>
#include <cstdint>
#include <string>

#include "engine/host.h"
#include "engine/input_kind.h"
#include "engine/run_state.h"

namespace kavrel {

// The window's controls that the scanner reads.
struct ScanOptions {
    bool fastCheck = true;    // read runs stop after the chunk that passes fastCheckLimit bytes
    bool countFrames = true;  // count picture / access unit / frame start codes
    bool details = true;      // first PTS, sub-stream id and header analysis per stream
    InputKind kind = InputKind::Evo;         // what the input is (see engine/input_kind.h)
    std::array<bool, kSlotCount> checked{};  // the stream check boxes, in slot order
    uint64_t fastCheckLimit = 300'000'000;
    std::size_t chunkSize = kChunkSize;  // smaller only for tests and fuzzing; divides 4 MiB
};

// How a scan ended.
enum class ScanEnd : uint8_t {
    EndOfInput,      // the whole input was scanned
    Stopped,         // the stop flag was set (Cancel, Ctrl-C)
    FastCheckLimit,  // a read scan passed options.fastCheckLimit
};

// Scans state.input from its current position to its end, until the stop flag is set or, in a
// read scan with the fast check, past the limit. Throws IoError when reading the input or
// writing an output fails.
ScanEnd demux(RunState& state, const ScanOptions& options, EngineHost& host, ScanMode mode);

}  // namespace kavrel
