#pragma once
// Where a demux run sends one selected stream. The scanner hands every payload run of the
// stream's packets to the stream's sink as it meets them; what the sink makes of them (a raw
// elementary stream, an "SP"-framed subpicture file, a WAV file, a PGS file) is the sink's own
// business. A packet that straddles two chunks arrives as several runs, only the first with
// packetStart set.
#include <cstdint>
#include <span>

namespace kavrel {

struct PayloadRun {
    std::span<const uint8_t> bytes;  // payload bytes of the packet, after every header
    bool packetStart = false;        // the first run of a PES packet
    bool hasPts = false;             // the packet carries a PTS of its own
    uint32_t pts = 0;                // that PTS, low 32 bits of the 90 kHz time stamp
    // Private stream 1 audio only, in every run of the packet: the header bytes that describe
    // the audio, after the sub-stream id, frame count and first access unit pointer. DVD-Video
    // and HD DVD LPCM: 3 bytes (emphasis and frame number; quantisation, rate, channels;
    // dynamic range). DVD-Audio LPCM: the bytes that the header length counts (first access
    // unit pointer, stereo flag, bit depths, sampling rates, reserved, channel assignment,
    // 0x80, padding). TrueHD: 1 byte.
    std::span<const uint8_t> privateHeader;
    // DVD-Audio: the packet's header length runs past the packet. No header is taken; bytes
    // hold all of the packet after its sub-stream id, continuity counter and header length.
    bool damagedHeader = false;
};

// What damage cost one stream's output: units or packets skipped or replaced.
struct StreamDamage {
    uint64_t count = 0;
    const char* one = "";   // "damaged unit skipped"
    const char* many = "";  // "damaged units skipped"
    bool usable = true;     // the output holds something of the stream all the same
};

class StreamSink {
  public:
    virtual ~StreamSink() = default;
    // Called once before the first run (a file header is written here).
    virtual void begin() {}
    // One payload run. Throws IoError when the output cannot be written.
    virtual void packet(const PayloadRun& run) = 0;
    // Completes the output (pending data, header sizes) and closes it. Called on every way out
    // of a run, a cancelled or failed one too, so that what was written is a valid file.
    // Throws IoError.
    virtual void finish() = 0;
    // Bytes written to the output so far.
    virtual uint64_t written() const = 0;
    // What damage cost the output so far; none for sinks that write bytes as they come.
    virtual StreamDamage damage() const { return {}; }
};

}  // namespace kavrel
