#pragma once
// VC-1 advanced profile sequence header (start code 0x0000010F).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct Vc1SequenceHeader {
    int profile = 0;  // 3: advanced
    int level = 0;
    int chromaFormat = 0;  // 1: 4:2:0
    int codedWidth = 0;
    int codedHeight = 0;
    bool pulldown = false;
    bool interlace = false;
    bool progressiveSegmentedFrame = false;
    bool displayExtension = false;
    int displayWidth = 0;
    int displayHeight = 0;
    int aspectRatioCode = 0;  // 0: unspecified, 15: explicit
    int aspectWidth = 0;
    int aspectHeight = 0;
    double frameRate = 0;  // frames per second, 0 when not signalled or reserved
};

// The first sequence header in the payload; none when there is none or it is cut short, or it
// is not of the advanced profile.
std::optional<Vc1SequenceHeader> findVc1SequenceHeader(std::span<const uint8_t> payload);

StreamFacts vc1Facts(const Vc1SequenceHeader& header);

std::vector<std::string> vc1Lines(const Vc1SequenceHeader& header, const StreamFacts& facts,
                                  int streamNumber);

}  // namespace kavrel::analysers
