#include "formats/aob_lpcm.h"

#include <algorithm>
#include <bit>

namespace kavrel::formats {

namespace {

using namespace speaker;
constexpr uint32_t L = kFrontLeft, R = kFrontRight, C = kFrontCenter, LFE = kLowFrequency,
                   Ls = kBackLeft, Rs = kBackRight, S = kBackCenter;

struct Row {
    int group1;
    std::initializer_list<uint32_t> speakers;
};

// Channel assignments 0-20: group 1's speakers, then group 2's.
const Row kAssignments[21] = {
    {1, {C}},
    {2, {L, R}},
    {2, {L, R, S}},
    {2, {L, R, Ls, Rs}},
    {2, {L, R, LFE}},
    {2, {L, R, LFE, S}},
    {2, {L, R, LFE, Ls, Rs}},
    {2, {L, R, C}},
    {2, {L, R, C, S}},
    {2, {L, R, C, Ls, Rs}},
    {2, {L, R, C, LFE}},
    {2, {L, R, C, LFE, S}},
    {2, {L, R, C, LFE, Ls, Rs}},
    {3, {L, R, C, S}},
    {3, {L, R, C, Ls, Rs}},
    {3, {L, R, C, LFE}},
    {3, {L, R, C, LFE, S}},
    {3, {L, R, C, LFE, Ls, Rs}},
    {4, {L, R, Ls, Rs, LFE}},
    {4, {L, R, Ls, Rs, C}},
    {4, {L, R, Ls, Rs, C, LFE}},
};

std::optional<int> bitsOf(int code) {
    if (code > 2) return std::nullopt;
    return 16 + 4 * code;
}

std::optional<uint32_t> rateOf(int code) {
    switch (code) {
        case 0x0:
            return 48000;
        case 0x1:
            return 96000;
        case 0x2:
            return 192000;
        case 0x8:
            return 44100;
        case 0x9:
            return 88200;
        case 0xA:
            return 176400;
        default:
            return std::nullopt;
    }
}

// A WAV's channels follow the order of their speaker bits: a channel's place is the number of
// the mask's speakers below its own.
uint8_t placeIn(uint32_t mask, uint32_t speaker) {
    return static_cast<uint8_t>(std::popcount(mask & (speaker - 1)));
}

WavFormat wavOf(int bits, uint32_t rate, int channels, uint32_t mask) {
    WavFormat wav;
    wav.sampleRate = rate;
    wav.channels = static_cast<uint16_t>(channels);
    wav.validBits = static_cast<uint16_t>(bits);
    wav.channelMask = mask;
    return wav;
}

std::size_t blockBytes(const AobLpcmFormat& format, const ChannelAssignment& assignment) {
    const int channels2 = assignment.channels - assignment.group1;
    std::size_t bytes = lpcmGroupBytes(format.bits[0], assignment.group1) *
                        (format.sampleRate[1] ? format.sampleRate[0] / format.sampleRate[1] : 1);
    if (channels2) bytes += lpcmGroupBytes(format.bits[1], channels2);
    return bytes;
}

// The header's fixed bytes after the channel assignment: 0x80, then zero padding.
bool soundHeader(std::span<const uint8_t> header) {
    if (header.size() < 8 || header[7] != 0x80) return false;
    return std::all_of(header.begin() + 8, header.end(), [](uint8_t b) { return b == 0; });
}

// A packet length that runs into the next header brings that header's start code (a pack,
// padding or PES start, 0x000001B9 and up) into the packet's last bytes: the audio ends there.
std::size_t audioEnd(std::span<const uint8_t> bytes) {
    constexpr std::size_t kLookBack = 16;
    const std::size_t from = bytes.size() > kLookBack ? bytes.size() - kLookBack : 0;
    for (std::size_t i = from; i + 3 < bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] >= 0xB9)
            return i;
    return bytes.size();
}

}  // namespace

std::optional<ChannelAssignment> channelAssignment(int code) {
    if (code < 0 || code > 20) return std::nullopt;
    const Row& row = kAssignments[code];
    ChannelAssignment a;
    a.group1 = row.group1;
    for (uint32_t s : row.speakers) a.speakers[static_cast<std::size_t>(a.channels++)] = s;
    return a;
}

std::optional<AobLpcmFormat> aobLpcmFormat(std::span<const uint8_t> header) {
    if (header.size() < 7) return std::nullopt;
    const auto assignment = channelAssignment(header[6]);
    const auto bits1 = bitsOf(header[3] >> 4);
    const auto rate1 = rateOf(header[4] >> 4);
    if (!assignment || !bits1 || !rate1) return std::nullopt;
    AobLpcmFormat format;
    format.assignment = header[6];
    format.bits[0] = *bits1;
    format.sampleRate[0] = *rate1;
    if (assignment->channels == assignment->group1) return format;  // no group 2
    const auto bits2 = bitsOf(header[3] & 0x0F);
    const auto rate2 = rateOf(header[4] & 0x0F);
    if (!bits2 || !rate2 || *rate1 % *rate2 != 0) return std::nullopt;
    format.bits[1] = *bits2;
    format.sampleRate[1] = *rate2;
    return format;
}

AobLpcmToWav::AobLpcmToWav(const AobLpcmFormat& format)
    : format_(format),
      assignment_(channelAssignment(format.assignment).value_or(ChannelAssignment{})),
      cutter_(blockBytes(format, assignment_)) {
    const int channels2 = assignment_.channels - assignment_.group1;
    split_ = channels2 > 0 &&
             (format.bits[0] != format.bits[1] || format.sampleRate[0] != format.sampleRate[1]);
    if (channels2 > 0) group1Pairs_ = format.sampleRate[0] / format.sampleRate[1];
    uint32_t masks[2] = {0, 0};
    for (int c = 0; c < assignment_.channels; ++c)
        masks[c < assignment_.group1 ? 0 : 1] |= assignment_.speakers[static_cast<std::size_t>(c)];
    if (split_) {
        wav_[0] = wavOf(format.bits[0], format.sampleRate[0], assignment_.group1, masks[0]);
        wav_[1] = wavOf(format.bits[1], format.sampleRate[1], channels2, masks[1]);
    } else {
        wav_[0] =
            wavOf(format.bits[0], format.sampleRate[0], assignment_.channels, masks[0] | masks[1]);
    }
    for (int c = 0; c < assignment_.channels; ++c) {
        const std::size_t group = c < assignment_.group1 ? 0 : 1;
        const uint32_t mask = split_ ? masks[group] : masks[0] | masks[1];
        slots_[group].push_back(placeIn(mask, assignment_.speakers[static_cast<std::size_t>(c)]));
    }
    shuffled_ = format.bits[0] != 20 && format.bits[1] != 20;
    if (!shuffled_) return;
    const std::size_t group2Bytes =
        channels2 ? lpcmGroupBytes(format.bits[1], channels2) : std::size_t{0};
    if (channels2) {
        const std::size_t output = split_ ? 1 : 0;
        shuffles_[output].addGroups(0, 1, format.bits[1], channels2, dvdAudioRun(channels2),
                                    slots_[1].data(), wav_[output].blockAlign(), 0);
    }
    shuffles_[0].addGroups(group2Bytes, group1Pairs_, format.bits[0], assignment_.group1,
                           dvdAudioRun(assignment_.group1), slots_[0].data(), wav_[0].blockAlign(),
                           0);
}

void AobLpcmToWav::convert(std::span<const uint8_t> bytes,
                           std::array<std::vector<uint8_t>, 2>& out) {
    const int channels1 = assignment_.group1;
    const int channels2 = assignment_.channels - channels1;
    const std::size_t group2Bytes = channels2 ? lpcmGroupBytes(format_.bits[1], channels2) : 0;
    const std::size_t stride1 = wav_[0].blockAlign();
    const std::size_t stride2 = split_ ? wav_[1].blockAlign() : stride1;
    cutter_.feed(bytes, [&](const uint8_t* blocks, std::size_t count) {
        const std::size_t at1 = out[0].size();
        const std::size_t at2 = out[1].size();
        out[0].resize(at1 + count * group1Pairs_ * 2 * stride1);
        if (split_) out[1].resize(at2 + count * 2 * stride2);
        if (shuffled_) {
            shuffles_[0].apply(blocks, count, cutter_.unitBytes(), out[0].data() + at1);
            if (split_) shuffles_[1].apply(blocks, count, cutter_.unitBytes(), out[1].data() + at2);
            return;
        }
        for (std::size_t b = 0; b < count; ++b) {
            const uint8_t* block = blocks + b * cutter_.unitBytes();
            uint8_t* frames1 = out[0].data() + at1 + b * group1Pairs_ * 2 * stride1;
            // Group 2 fills its own WAV, or its channels' places in group 1's frames.
            if (channels2) {
                uint8_t* frames2 = split_ ? out[1].data() + at2 + b * 2 * stride2 : frames1;
                lpcmGroupsToWav(block, 1, format_.bits[1], channels2, dvdAudioRun(channels2),
                                slots_[1].data(), stride2, frames2);
            }
            lpcmGroupsToWav(block + group2Bytes, group1Pairs_, format_.bits[0], channels1,
                            dvdAudioRun(channels1), slots_[0].data(), stride1, frames1);
        }
    });
}

bool AobLpcmToWav::packet(std::span<const uint8_t> header, std::span<const uint8_t> bytes,
                          bool headerLost, std::array<std::vector<uint8_t>, 2>& out) {
    const std::size_t block = cutter_.unitBytes();
    const std::size_t packetBytes = header.size() + bytes.size();
    std::span<const uint8_t> audio = bytes.first(audioEnd(bytes));
    bool fits = !headerLost && soundHeader(header);
    // The pointer counts from its own last byte to the first byte of the first access unit,
    // which starts a block; 0 when no access unit starts in the packet.
    const std::size_t pointer = fits ? std::size_t{header[0]} << 8 | header[1] : 0;
    if (fits && pointer) {
        const std::size_t first = pointer + 1 - std::min(pointer + 1, header.size());
        fits = pointer + 1 >= header.size() && first < audio.size();
        if (fits && (cutter_.pendingBytes() + first) % block != 0) {
            // After damage the blocks restart at the access unit; elsewhere this is damage.
            fits = realign_;
            if (fits) {
                cutter_.dropPending();
                audio = audio.subspan(first % block);
            }
        }
    } else if (fits && realign_) {
        fits = cutter_.pendingBytes() == 0 && audio.size() % block == 0;
    }
    if (!fits) {
        const std::size_t length = usualHeaderLength(packetBytes, header.size());
        const std::size_t duration = packetBytes - std::min(packetBytes, length);
        silence((cutter_.pendingBytes() + duration + block / 2) / block, out);
        cutter_.dropPending();
        realign_ = true;
        return false;
    }
    realign_ = false;
    if (std::none_of(lengths_.begin(), lengths_.end(),
                     [&](const auto& known) { return known.first == packetBytes; })) {
        std::rotate(lengths_.begin(), lengths_.begin() + 1, lengths_.end());
        lengths_.back() = {packetBytes, header.size()};
    }
    lastLength_ = header.size();
    convert(audio, out);
    return true;
}

std::size_t AobLpcmToWav::usualHeaderLength(std::size_t packetBytes, std::size_t fallback) const {
    for (const auto& [bytes, length] : lengths_)
        if (bytes == packetBytes) return length;
    return lastLength_ ? lastLength_ : fallback;
}

void AobLpcmToWav::silence(std::size_t blocks, std::array<std::vector<uint8_t>, 2>& out) const {
    // 16, 20 and 24-bit WAV samples are signed: zero bytes are silence.
    out[0].resize(out[0].size() + blocks * group1Pairs_ * 2 * wav_[0].blockAlign(), 0);
    if (split_) out[1].resize(out[1].size() + blocks * 2 * wav_[1].blockAlign(), 0);
}

}  // namespace kavrel::formats
