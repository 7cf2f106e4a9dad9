#pragma once
// Frame counting over one payload run of a video packet.
#include <cstdint>
#include <span>

#include "engine/run_state.h"

namespace kavrel {

// The start code that opens each frame of a video kind: MPEG-2 picture (00 00 01 00), H.264
// access unit delimiter (00 00 01 09), VC-1 frame (00 00 01 0D).
uint8_t frameStartCode(VideoKind kind);

// Counts the frame start codes of the kind in one payload run of a video stream. The count is
// that of a 32-bit register that takes one byte at a time; startRegister holds the stream's
// last four bytes before the run and is left holding them after it, so a start code cut by a
// packet or chunk boundary is counted once.
int32_t countFrameStarts(std::span<const uint8_t> run, VideoKind kind, uint32_t& startRegister);

}  // namespace kavrel
