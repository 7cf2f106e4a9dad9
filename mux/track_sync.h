#pragma once
// Where each demuxed stream's file starts on the video's timeline, for mkvmerge's --sync. An
// elementary stream or WAV file starts at its stream's first PTS, a PGS file's times count
// from the earliest first PTS of the read run; the video file starts at its first frame.
#include <array>
#include <cstdint>

#include "engine/run_state.h"

namespace kavrel::mux {

// By slot: milliseconds after the first PTS of the video (negative before it); 0 where the
// read run found no time to go by.
std::array<int64_t, kSlotCount> trackSync(const RunState& state);

}  // namespace kavrel::mux
