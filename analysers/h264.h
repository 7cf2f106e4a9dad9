#pragma once
// H.264 sequence parameter set (NAL unit type 7).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct H264Sps {
    int profile = 0;
    int constraints = 0;  // constraint_set flags byte
    int level = 0;
    int chromaFormat = 1;  // 0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4
    int bitDepthLuma = 8;
    int width = 0;  // after cropping
    int height = 0;
    bool frameMbsOnly = true;  // false: fields or MBAFF may be coded
    int sarWidth = 0;          // 0 when not given
    int sarHeight = 0;
    bool timingInfo = false;
    uint32_t unitsInTick = 0;
    uint32_t timeScale = 0;
    bool fixedFrameRate = false;
};

// The first complete sequence parameter set in the payload.
std::optional<H264Sps> findH264Sps(std::span<const uint8_t> payload);

// Frames per second from the VUI timing (time_scale / (2 * num_units_in_tick)); 0 without it.
double h264FrameRate(const H264Sps& sps);

StreamFacts h264Facts(const H264Sps& sps);

std::vector<std::string> h264Lines(const H264Sps& sps, const StreamFacts& facts, int streamNumber);

}  // namespace kavrel::analysers
