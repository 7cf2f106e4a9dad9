#pragma once
// DVD-Audio LPCM to WAV. A stream carries one or two channel groups, each with its own sample
// depth and rate; the channel assignment says which speakers each group feeds. Samples come in
// blocks: group 2's 2 sample frames, then group 1's (as many pairs of frames as its rate is a
// multiple of group 2's). Groups of the same depth and rate make one WAV of all the channels;
// otherwise each group gets a WAV of its own.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "formats/lpcm_samples.h"
#include "formats/wav_writer.h"

namespace kavrel::formats {

// The speakers of a channel assignment (0-20) in stream order, group 1's first.
struct ChannelAssignment {
    int group1 = 0;                      // channels of group 1
    int channels = 0;                    // of both groups
    std::array<uint32_t, 6> speakers{};  // WAV speaker bits
};
std::optional<ChannelAssignment> channelAssignment(int code);

struct AobLpcmFormat {
    std::array<int, 2> bits{};             // 16, 20 or 24 per group; group 2: 0 if absent
    std::array<uint32_t, 2> sampleRate{};  // per group; group 2: 0 if absent
    int assignment = 0;                    // the channel assignment, 0-20

    bool operator==(const AobLpcmFormat&) const = default;
};

// Reads the format from the private header bytes that follow its 16-bit length: first access
// unit pointer (2 bytes), a byte, the depths (group 1 in the high nibble), the rates, a byte,
// the channel assignment. Nullopt for codes outside the tables, a group 2 that the assignment
// does not match, or a group 2 whose rate does not divide group 1's.
std::optional<AobLpcmFormat> aobLpcmFormat(std::span<const uint8_t> header);

class AobLpcmToWav {
  public:
    explicit AobLpcmToWav(const AobLpcmFormat& format);

    // 1: every channel in one WAV; 2: group 1 and group 2 in WAVs of their own.
    std::size_t outputCount() const { return split_ ? 2 : 1; }
    const WavFormat& wav(std::size_t output) const { return wav_[output]; }
    // Converts the whole blocks of the bytes, with the start of a block that an earlier call
    // left over, and appends their WAV samples to out[0] (and, for split groups, group 2's to
    // out[1]).
    void convert(std::span<const uint8_t> bytes, std::array<std::vector<uint8_t>, 2>& out);
    std::size_t pendingBytes() const { return cutter_.pendingBytes(); }

    // One whole packet of the stream: header, the bytes its length field counts (empty when
    // that length ran past the packet: headerLost), and the bytes after it. The packet is
    // checked against the stream: the header's fixed bytes, and its first access unit
    // pointer, which must land on a block boundary. A packet that does not fit is damaged: its
    // duration (its bytes less the header length its neighbours of that size use) goes out as
    // silence, the conversion re-aligns at the next packet, and false is returned. A packet
    // length that ran into the next header's start code loses those bytes only.
    bool packet(std::span<const uint8_t> header, std::span<const uint8_t> bytes, bool headerLost,
                std::array<std::vector<uint8_t>, 2>& out);

  private:
    void silence(std::size_t blocks, std::array<std::vector<uint8_t>, 2>& out) const;
    std::size_t usualHeaderLength(std::size_t packetBytes, std::size_t fallback) const;

    AobLpcmFormat format_;
    ChannelAssignment assignment_;
    bool split_ = false;
    std::size_t group1Pairs_ = 1;  // pairs of group 1 frames per block
    std::array<WavFormat, 2> wav_{};
    std::array<std::vector<uint8_t>, 2> slots_;  // WAV position of each channel of a group
    UnitCutter cutter_;
    // Without 20-bit groups a block's bytes are only moved: per output, where each comes from.
    bool shuffled_ = false;
    std::array<ByteShuffle, 2> shuffles_;
    // Header lengths of sound packets by their whole size (a packet with a PTS has a shorter
    // header than one without), the latest last.
    std::array<std::pair<std::size_t, std::size_t>, 4> lengths_{};
    std::size_t lastLength_ = 0;
    bool realign_ = false;  // a damaged packet came before: the blocks restart in the next
};

}  // namespace kavrel::formats
