#pragma once
// Dolby Digital (AC-3) and Dolby Digital Plus (E-AC-3) syncframe headers.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kavrel::analysers {

struct DolbyHeader {
    bool plus = false;                // E-AC-3 (bsid 11-16)
    uint16_t frameSizeCode = 0;       // 11 bits: the E-AC-3 frmsiz, or AC-3 CRC bits
    uint32_t sampleRate = 0;          // Hz, 0 for the reserved code
    std::optional<uint32_t> bitrate;  // bit/s; none for a reserved AC-3 frame size code
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

std::vector<std::string> dolbyLines(const DolbyHeader& header, int streamNumber);

}  // namespace kavrel::analysers
