#pragma once
// DVD-Video and HD DVD LPCM to WAV: the format from the audio frame header of each packet,
// the samples converted group by group.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/lpcm_samples.h"
#include "formats/wav_writer.h"

namespace kavrel::formats {

struct DvdLpcmFormat {
    int bits = 16;  // 16, 20 or 24
    uint32_t sampleRate = 48000;
    int channels = 2;  // 1-8

    bool operator==(const DvdLpcmFormat&) const = default;
};

// Reads the format from the three header bytes after the first access unit pointer (emphasis,
// mute and frame number; quantisation, sampling frequency and channels; dynamic range).
// Nullopt for a reserved quantisation or sampling frequency.
std::optional<DvdLpcmFormat> dvdLpcmFormat(std::span<const uint8_t> header);

// The WAV that holds the samples; the speakers are those players assume for the channel count.
WavFormat wavFormatOf(const DvdLpcmFormat& format);

class DvdLpcmToWav {
  public:
    explicit DvdLpcmToWav(const DvdLpcmFormat& format);

    const WavFormat& wav() const { return wav_; }
    // Converts the whole groups of the bytes, with the start of a group that an earlier call
    // left over, and appends their WAV samples to out.
    void convert(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);
    // Bytes of a group still waiting for the rest of it.
    std::size_t pendingBytes() const { return cutter_.pendingBytes(); }

  private:
    DvdLpcmFormat format_;
    WavFormat wav_;
    std::vector<uint8_t> slots_;
    UnitCutter cutter_;
    ByteShuffle shuffle_;  // 24 bits: the group's bytes moved into place
};

}  // namespace kavrel::formats
