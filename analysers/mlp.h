#pragma once
// The major sync of MLP (DVD-Audio) and Dolby TrueHD access units.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct MajorSync {
    bool trueHd = false;  // 0xF8726FBA; MLP is 0xF8726FBB
    int bitDepth1 = 0;    // MLP quantization word length codes of groups 1 and 2
    int bitDepth2 = 0;
    int sampleRate1 = 0;  // sampling frequency codes (group 2 only for MLP)
    int sampleRate2 = 0;
    int channelAssignment = 0;       // MLP: 5 bits; TrueHD: the 6-channel presentation, 5 bits
    int eightChannelAssignment = 0;  // TrueHD: the 8-channel presentation, 13 bits
    bool variableRate = false;
    uint32_t peakDataRate = 0;  // 15-bit field
    int substreams = 0;
};

std::optional<MajorSync> findMajorSync(std::span<const uint8_t> payload);

// The peak bit rate in bit/s, when the sampling frequency is known.
std::optional<uint64_t> peakBitrate(const MajorSync& sync);

StreamFacts majorSyncFacts(const MajorSync& sync);

std::vector<std::string> majorSyncLines(const MajorSync& sync, int streamNumber);

}  // namespace kavrel::analysers
