#include "formats/aob_lpcm.h"

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

}  // namespace kavrel::formats
