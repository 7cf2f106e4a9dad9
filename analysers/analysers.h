#pragma once
// The stream header analysers: each decodes the first header found in a payload run of its
// stream into the stream's facts and the indented detail lines for the log. No analyser reads
// outside the run.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysers/format_tables.h"
#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct Analysis {
    std::vector<std::string> lines;  // log lines in markup, in order
    StreamFacts facts;               // codecName empty when no header was found
    double frameRate = 0;  // video only: frames per second to count time with, 0 when unknown
};

// How a sub-stream of the LPCM class is carried, which decides how its private header reads.
enum class LpcmCarriage : uint8_t {
    Video,        // DVD-Video and HD DVD LPCM: the three header bytes after the pointer
    DvdAudio,     // DVD-Audio LPCM (0xA0 of an .AOB): the header bytes after its length field
    DvdAudioMlp,  // DVD-Audio MLP (0xA1 of an .AOB): the payload starts with MLP access units
};

// privateHeader: the header bytes the scanner consumed after the four sub-stream header bytes
// and before the payload, as LpcmCarriage says for the LPCM class; TrueHD's one extra byte;
// none for the others.
Analysis analyseAudio(AudioClass audioClass, LpcmCarriage carriage, std::span<const uint8_t> run,
                      int audioNumber, std::span<const uint8_t> privateHeader = {});

// How many of a stream's first payload bytes the analysis of its class wants to see; the
// payload's own size, or less, when it holds enough. A caller gathers the stream's payload
// across packets up to this (within a bound of its own) before it analyses.
std::size_t audioBytesWanted(AudioClass audioClass, std::span<const uint8_t> payload);

// frameRate: the rate the stream's header gives, 0 when it gives none; H.264 without VUI timing
// is taken as 23.976.
Analysis analyseVideo(VideoKind kind, std::span<const uint8_t> run, int videoNumber);

}  // namespace kavrel::analysers
