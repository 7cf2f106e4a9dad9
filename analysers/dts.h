#pragma once
// DTS Coherent Acoustics core frame header and the DTS-HD extension substream that may follow it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct DtsCore {
    uint32_t frameSize = 0;  // bytes, FSIZE + 1
    int blocks = 0;          // PCM sample blocks of 32 samples, NBLKS + 1
    int amode = 0;           // channel arrangement code
    int sfreq = 0;           // sampling frequency code
    int rate = 0;            // transmission bit rate code
    int lfe = 0;             // LFF: 0 none, 1 and 2 present, 3 invalid
    bool extAudio = false;   // a core extension (XCh, X96, XXCh) is present
    int extAudioId = 0;
    int pcmResolution = 0;  // PCMR code
};

// What the coding components of an extension substream make of the stream.
enum class DtsHdKind { Unknown, MasterAudio, HighResolution, Express };

struct DtsHdSubstream {
    uint32_t headerSize = 0;
    uint32_t frameSize = 0;
    std::vector<std::string> extensions;  // "XLL (lossless)", "XBR", "X96", "LBR" …
    DtsHdKind kind = DtsHdKind::Unknown;
    // From the first audio asset's descriptor, when the header carries its static fields.
    std::optional<int> totalChannels;
    std::optional<int> bitResolution;
    std::optional<uint32_t> maxSampleRate;  // Hz
};

struct DtsInfo {
    std::optional<DtsCore> core;
    std::optional<DtsHdSubstream> substream;  // the one after the core, or the first found
};

DtsInfo parseDts(std::span<const uint8_t> payload);

// Channels of the core, LFE included; none for a user-defined arrangement.
std::optional<int> dtsCoreChannels(const DtsCore& core);

StreamFacts dtsFacts(const DtsInfo& info);

std::vector<std::string> dtsLines(const DtsInfo& info, const StreamFacts& facts, int streamNumber);

}  // namespace kavrel::analysers
