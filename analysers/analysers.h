#pragma once
// The stream header analysers: each decodes the first header found in a payload run of its
// stream and returns the indented detail lines for the log. No analyser reads outside the run.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysers/format_tables.h"

namespace kavrel::analysers {

struct Analysis {
    std::vector<std::string> lines;  // log lines in markup, in order
    double frameRate = 0;            // video only: frames per second, 0 when not found
};

// mlp: the sub-stream is MLP (id 0xA1 of a DVD-Audio .AOB) rather than LPCM.
// privateHeader: the header bytes the scanner consumed after the four sub-stream header bytes
// and before the payload (3 for LPCM/MLP, 1 for TrueHD, none for the others).
Analysis analyseAudio(AudioClass audioClass, bool mlp, std::span<const uint8_t> run,
                      int audioNumber, std::span<const uint8_t> privateHeader = {});

// On a DVD-Audio (.AOB) input, LPCM (sub-stream 0xA0) carries its own private header, whose
// fields continue at the start of the payload; privateHeader as for analyseAudio.
Analysis analyseAobLpcm(std::span<const uint8_t> run, int audioNumber,
                        std::span<const uint8_t> privateHeader = {});

// frameRate: the rate the stream's header gives, 0 when it gives none; H.264 without VUI timing
// is taken as 23.976.
Analysis analyseVideo(VideoKind kind, std::span<const uint8_t> run, uint32_t dts, int videoNumber,
                      uint32_t firstPts);

}  // namespace kavrel::analysers
