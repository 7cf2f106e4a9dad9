#pragma once
// Dolby Digital (AC-3) and Dolby Digital Plus (E-AC-3) syncframe headers, and the dependent
// substream that carries the channels beyond 5.1 of an E-AC-3 programme (7.1 on HD DVD).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysers/stream_facts.h"

namespace kavrel::analysers {

struct DolbyHeader {
    bool plus = false;           // E-AC-3 (bsid 11-16)
    std::size_t syncAt = 0;      // offset of the sync word in the payload
    int streamType = 0;          // E-AC-3 strmtyp: 0 independent, 1 dependent, 2 AC-3 in E-AC-3
    uint16_t frameSizeCode = 0;  // 11 bits: the E-AC-3 frmsiz, or AC-3 CRC bits
    uint32_t sampleRate = 0;     // Hz, 0 for the reserved code
    std::optional<uint32_t> bitrate;  // bit/s; none for a reserved AC-3 frame size code
    int ac3SizeCode = 0;              // AC-3 frmsizecod (6 bits)
    int blocks = 0;                   // E-AC-3 audio blocks per frame
    int acmod = 0;
    bool lfe = false;
    int bsid = 0;
    int bsmod = 0;
};

// Every header the payload yields, in order. The first complete header is taken; a header with
// a reserved sampling rate (or, for AC-3, a reserved bit rate) is kept and the search goes on
// with the next sync word. A header cut by the end of the payload yields nothing.
std::vector<DolbyHeader> findDolbyHeaders(std::span<const uint8_t> payload);

// Channel map bits of E-AC-3 (chanmap), the most significant first: L, C, R, Ls, Rs, Lc/Rc,
// Lrs/Rrs, Cs, Ts, Lsd/Rsd, Lw/Rw, Lvh/Rvh, Cvh, reserved, LFE2, LFE.
using ChannelMap = uint16_t;

// The channels of the dependent substreams that follow an independent E-AC-3 frame, as far as
// the payload holds their headers; none when no dependent frame follows it.
struct DependentChannels {
    ChannelMap channels = 0;  // every channel the dependent frames carry
    int frames = 0;
};
std::optional<DependentChannels> findDependentChannels(std::span<const uint8_t> payload,
                                                       const DolbyHeader& independent);

// How many bytes from the start of a stream the analysis of its first frame wants to see: past
// the headers of the dependent frames that follow the first independent E-AC-3 frame (those
// arrive in the stream's later packets on HD DVD), or one byte more than the payload while it
// holds no complete header yet. The payload's own size when it holds enough.
std::size_t dolbyBytesWanted(std::span<const uint8_t> payload);

StreamFacts dolbyFacts(const DolbyHeader& header,
                       const std::optional<DependentChannels>& dependent = std::nullopt);

// The log lines of one header, with the dependent substream's channels after them when given.
std::vector<std::string> dolbyLines(const DolbyHeader& header, const StreamFacts& facts,
                                    int streamNumber,
                                    const std::optional<DependentChannels>& dependent = {});

}  // namespace kavrel::analysers
