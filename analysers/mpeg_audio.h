#pragma once
// The 4-byte frame header of MPEG-1, MPEG-2 and MPEG-2.5 audio, layers I-III.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct MpegAudioHeader {
    std::size_t syncAt = 0;  // where the header starts in the payload
    int version = 1;         // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
    int layer = 2;           // 1-3
    uint32_t bitRate = 0;    // bit/s; 0 for the free format
    uint32_t sampleRate = 0;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    bool padding = false;
    bool crc = false;
};

// The first header in the payload whose fields are all valid and that is followed, where the
// payload holds it, by the sync of the next frame.
std::optional<MpegAudioHeader> findMpegAudioHeader(std::span<const uint8_t> payload);

// Bytes of the frame the header opens; 0 for the free format, whose size it does not say.
uint32_t mpegAudioFrameBytes(const MpegAudioHeader& header);

// How many of the first payload bytes the analysis wants: the first frame and the next header.
std::size_t mpegAudioBytesWanted(std::span<const uint8_t> payload);

StreamFacts mpegAudioFacts(const MpegAudioHeader& header);

std::vector<std::string> mpegAudioLines(const MpegAudioHeader& header, const StreamFacts& facts,
                                        int streamNumber);

}  // namespace kavrel::analysers
