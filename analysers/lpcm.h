#pragma once
// Linear PCM audio-frame headers: the three header bytes of DVD-Video and HD DVD LPCM, and the
// DVD-Audio PCM private header.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

// DVD-Video / HD DVD: emphasis, mute and frame number; word length, sampling frequency and
// channel count; dynamic range control.
struct LpcmHeader {
    bool emphasis = false;
    bool mute = false;
    int frameNumber = 0;
    int wordLengthCode = 0;  // 0 16 bit, 1 20 bit, 2 24 bit, 3 reserved
    int sampleRateCode = 0;  // 0 48 kHz, 1 96 kHz, 2 44.1 kHz, 3 32 kHz
    int channels = 0;
    int dynamicRange = 0;
};

std::optional<LpcmHeader> parseLpcmHeader(std::span<const uint8_t> header);
StreamFacts lpcmFacts(const LpcmHeader& header);
std::vector<std::string> lpcmLines(const LpcmHeader& header, const StreamFacts& facts,
                                   int streamNumber);

// DVD-Audio: the private header of an LPCM sub-stream (0xA0), the bytes after its 16-bit header
// length: the first access unit pointer (2 bytes), a stereo/surround byte, the word lengths of
// channel groups 1 and 2 (high and low nibble), their sampling frequencies (likewise), a
// reserved byte, the channel assignment, a marker byte and padding.
struct AobPcmHeader {
    int wordLength1 = 0;  // codes of the bit-depth table; 0xF: group absent
    int wordLength2 = 0;
    int sampleRate1 = 0;  // codes of the sample-rate text table; 0xF: group absent
    int sampleRate2 = 0;
    int channelAssignment = 0;
};

std::optional<AobPcmHeader> parseAobPcmHeader(std::span<const uint8_t> privateHeader);
StreamFacts aobPcmFacts(const AobPcmHeader& header);
std::vector<std::string> aobPcmLines(const AobPcmHeader& header, const StreamFacts& facts,
                                     int streamNumber);

}  // namespace kavrel::analysers
