#pragma once
// The audio packets of DVD-Audio packs: each 2048-byte pack's private stream 1 packets whose
// sub-stream is LPCM (0xA0) or MLP (0xA1), with their private header and audio bytes. A packet
// never runs past its pack, whatever its length field says; a pack or packet too damaged to
// read is passed over.
#include <cstdint>
#include <functional>
#include <span>

namespace kavrel::dvdaudio {

inline constexpr uint8_t kLpcmSubstream = 0xA0;
inline constexpr uint8_t kMlpSubstream = 0xA1;

struct AudioPacket {
    uint8_t substream = 0;
    // LPCM: the bytes the header length counts (first access unit pointer, stereo flag, depths,
    // rates, reserved, channel assignment, …); MLP: empty.
    std::span<const uint8_t> privateHeader;
    std::span<const uint8_t> audio;
};

// Hands each audio packet of the pack to `use`. The pack may be shorter than 2048 bytes (the
// end of a damaged file); nothing outside it is read.
void forEachAudioPacket(std::span<const uint8_t> pack,
                        const std::function<void(const AudioPacket&)>& use);

}  // namespace kavrel::dvdaudio
