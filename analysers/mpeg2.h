#pragma once
// MPEG-2 video sequence header (0x000001B3) and its sequence extension.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct Mpeg2Sequence {
    int width = 0;
    int height = 0;
    int aspectCode = 0;
    int frameRateCode = 0;
    uint64_t bitrate = 0;       // bit/s
    bool hasExtension = false;  // without it the stream is MPEG-1 video
    int profileAndLevel = 0;
    bool progressive = false;
    int chromaFormat = 1;
    int frameRateExtN = 0;
    int frameRateExtD = 0;
};

std::optional<Mpeg2Sequence> findMpeg2Sequence(std::span<const uint8_t> payload);

// Frames per second, 0 for a reserved frame rate code.
double mpeg2FrameRate(const Mpeg2Sequence& sequence);

StreamFacts mpeg2Facts(const Mpeg2Sequence& sequence);

std::vector<std::string> mpeg2Lines(const Mpeg2Sequence& sequence, const StreamFacts& facts,
                                    int streamNumber);

}  // namespace kavrel::analysers
