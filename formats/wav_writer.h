#pragma once
// RIFF/WAVE files of integer PCM samples. The header is written first with provisional sizes
// and patched when the writer finishes; a file whose RIFF size would not fit 32 bits becomes
// RF64, whose 64-bit sizes take the place of a JUNK chunk reserved for them up front.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/byte_sink.h"

namespace kavrel::formats {

// Speaker positions of WAVE_FORMAT_EXTENSIBLE's dwChannelMask.
namespace speaker {
inline constexpr uint32_t kFrontLeft = 0x1;
inline constexpr uint32_t kFrontRight = 0x2;
inline constexpr uint32_t kFrontCenter = 0x4;
inline constexpr uint32_t kLowFrequency = 0x8;
inline constexpr uint32_t kBackLeft = 0x10;
inline constexpr uint32_t kBackRight = 0x20;
inline constexpr uint32_t kBackCenter = 0x100;
inline constexpr uint32_t kSideLeft = 0x200;
inline constexpr uint32_t kSideRight = 0x400;
}  // namespace speaker

// The layout players assume for a channel count that says nothing else about its speakers
// (mono, stereo, 2.1, 4.0, 5.0, 5.1, 6.1, 7.1); 0 outside 1-8.
uint32_t defaultChannelMask(int channels);

struct WavFormat {
    uint32_t sampleRate = 48000;
    uint16_t channels = 2;
    uint16_t validBits = 16;   // 16, 20 or 24; 20-bit samples sit in 24-bit containers
    uint32_t channelMask = 0;  // the speakers of the channels, which come in mask-bit order

    uint16_t containerBytes() const { return validBits > 16 ? 3 : 2; }
    uint16_t blockAlign() const { return static_cast<uint16_t>(channels * containerBytes()); }
    // Plain PCM cannot say more than 2 channels or more than 16 bits unambiguously.
    bool extensible() const { return channels > 2 || validBits > 16; }
};

class WavWriter {
  public:
    // The largest RIFF size a plain RIFF header can state. A test passes a small limit to
    // reach RF64 with a small file.
    static constexpr uint64_t kRiffSizeLimit = 0xFFFFFFFF;

    WavWriter(ByteSink& sink, const WavFormat& format, uint64_t riffSizeLimit = kRiffSizeLimit);

    // Writes the header. Its sizes say "up to the end of the file" until finish patches them,
    // so a file left by a process that died still reads.
    void begin();
    // Appends whole sample frames of little-endian samples, channels in mask-bit order.
    void append(std::span<const uint8_t> samples);
    // Pads the data to an even size and patches the header with the sizes of the audio the
    // file really holds (whole sample frames; a partial frame is cut off), as RF64 when the RIFF
    // size passes the limit. Called on every way out of a run, after a failed write too. Throws
    // what the sink throws.
    void finish();

    uint64_t dataBytes() const { return dataBytes_; }
    std::size_t headerBytes() const { return headerBytes_; }
    const WavFormat& format() const { return format_; }

  private:
    // The header for data bytes (none: not known yet) and a pad byte after them.
    std::vector<uint8_t> header(std::optional<uint64_t> dataBytes, bool padded) const;

    ByteSink& sink_;
    WavFormat format_;
    uint64_t riffSizeLimit_;
    std::size_t headerBytes_;
    uint64_t dataBytes_ = 0;
    bool finished_ = false;
};

}  // namespace kavrel::formats
