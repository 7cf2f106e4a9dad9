#include "dvdaudio/aob_packets.h"

#include <algorithm>

#include "engine/pes_header.h"

namespace kavrel::dvdaudio {

namespace {

constexpr uint8_t kPackStart = 0xBA;
constexpr uint8_t kPrivateStream1 = 0xBD;

bool startCode(std::span<const uint8_t> bytes, std::size_t at) {
    return bytes[at] == 0 && bytes[at + 1] == 0 && bytes[at + 2] == 1;
}

std::size_t be16(std::span<const uint8_t> bytes, std::size_t at) {
    return std::size_t{bytes[at]} << 8 | bytes[at + 1];
}

// The audio packet in bytes [start, end) of a private stream 1 packet's payload; false when the
// packet is not LPCM or MLP or its headers do not fit.
bool audioPacket(std::span<const uint8_t> payload, AudioPacket& packet) {
    if (payload.size() < 4) return false;
    packet.substream = payload[0];
    std::size_t audioAt = 0;
    if (payload[0] == kLpcmSubstream) {
        audioAt = 4 + be16(payload, 2);
        if (audioAt > payload.size()) return false;
        packet.privateHeader = payload.subspan(4, audioAt - 4);
    } else if (payload[0] == kMlpSubstream) {
        audioAt = 4 + std::size_t{payload[3]};
        if (audioAt > payload.size()) return false;
        packet.privateHeader = {};
    } else {
        return false;
    }
    packet.audio = payload.subspan(audioAt);
    return true;
}

}  // namespace

void forEachAudioPacket(std::span<const uint8_t> pack,
                        const std::function<void(const AudioPacket&)>& use) {
    const std::size_t size = std::min(pack.size(), kPackSize);
    if (size < kPackHeaderSize || !startCode(pack, 0) || pack[3] != kPackStart) return;
    std::size_t at = firstPacketAt(pack.data());
    while (at + 6 <= size && startCode(pack, at)) {
        const uint8_t id = pack[at + kStreamIdOffset];
        const std::size_t next = at + 6 + be16(pack, at + 4);
        const std::size_t end = std::min(next, size);
        if (id == kPrivateStream1 && at + kPesHeaderDataOffset <= end) {
            const std::size_t payloadAt =
                at + kPesHeaderDataOffset + pack[at + kPesHeaderLengthOffset];
            AudioPacket packet;
            if (payloadAt <= end && audioPacket(pack.subspan(payloadAt, end - payloadAt), packet))
                use(packet);
        }
        at = next;
    }
}

}  // namespace kavrel::dvdaudio
