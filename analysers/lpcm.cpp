#include "analysers/lpcm.h"

#include <array>
#include <string_view>

#include "analysers/format_tables.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

std::string tableText(std::span<const std::string_view> table, int code) {
    if (code >= 0 && static_cast<std::size_t>(code) < table.size() && !table[code].empty()) {
        return std::string(table[code]);
    }
    return "unknown (" + std::to_string(code) + ")";
}

}  // namespace

std::optional<LpcmHeader> parseLpcmHeader(std::span<const uint8_t> header) {
    if (header.size() < 3) return std::nullopt;
    LpcmHeader h;
    h.emphasis = (header[0] & 0x80) != 0;
    h.mute = (header[0] & 0x40) != 0;
    h.frameNumber = header[0] & 0x1F;
    h.wordLengthCode = header[1] >> 6;
    h.sampleRateCode = (header[1] >> 4) & 0x03;
    h.channels = (header[1] & 0x07) + 1;
    h.dynamicRange = header[2];
    return h;
}

StreamFacts lpcmFacts(const LpcmHeader& h) {
    static constexpr std::array<uint32_t, 4> kRates = {48000, 96000, 44100, 32000};
    StreamFacts f;
    f.codecName = "pcm_dvd";
    f.format = "LPCM";
    f.channels = h.channels;
    f.sampleRate = kRates[h.sampleRateCode & 3];
    if (h.wordLengthCode < 3) {
        f.bitsPerSample = 16 + 4 * h.wordLengthCode;
        f.bitRate = uint64_t{*f.sampleRate} * static_cast<uint64_t>(*f.bitsPerSample) *
                    static_cast<uint64_t>(h.channels);
    }
    return f;
}

std::vector<std::string> lpcmLines(const LpcmHeader& h, const StreamFacts& f, int streamNumber) {
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]LPCM[/b]");
    lines.push_back(
        valueLine("Sampling frequency", shortDecimal(f.sampleRate.value_or(0) / 1000.0), " kHz"));
    lines.push_back(f.bitsPerSample
                        ? valueLine("Bit depth", std::to_string(*f.bitsPerSample), " bit")
                        : valueLine("Bit depth", "reserved"));
    lines.push_back(valueLine("Channels", std::to_string(f.channels.value_or(0))));
    if (h.emphasis) lines.push_back(valueLine("Emphasis", "on"));
    if (h.mute) lines.push_back(valueLine("Mute", "on"));
    return lines;
}

std::optional<AobPcmHeader> parseAobPcmHeader(std::span<const uint8_t> privateHeader) {
    // Up to the channel assignment: pointer (2), stereo flag, depths, rates, reserved, assignment.
    constexpr std::size_t kFieldBytes = 7;
    if (privateHeader.size() < kFieldBytes) return std::nullopt;
    AobPcmHeader h;
    h.wordLength1 = privateHeader[3] >> 4;
    h.wordLength2 = privateHeader[3] & 0x0F;
    h.sampleRate1 = privateHeader[4] >> 4;
    h.sampleRate2 = privateHeader[4] & 0x0F;
    h.channelAssignment = privateHeader[6];
    return h;
}

StreamFacts aobPcmFacts(const AobPcmHeader& h) {
    StreamFacts f;
    f.codecName = "pcm_dvd";
    f.format = "LPCM (DVD-Audio)";
    if (const uint32_t rate = dvdAudioSampleRate(h.sampleRate1)) f.sampleRate = rate;
    if (const int bits = dvdAudioBitDepth(h.wordLength1)) f.bitsPerSample = bits;
    const auto code = static_cast<std::size_t>(h.channelAssignment);
    if (code < kDvdAudioChannels.size()) {
        f.channels = kDvdAudioChannels[code].total();
        f.channelLayout = std::string(kChannelTableA[code]);
        f.lfe = (kDvdAudioChannels[code].wavMask & 0x8) != 0;
    }
    return f;
}

std::vector<std::string> aobPcmLines(const AobPcmHeader& h, const StreamFacts& f,
                                     int streamNumber) {
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]LPCM[/b] (DVD-Audio)");
    lines.push_back(
        valueLine("Group 1 sampling frequency", tableText(kSampleRateText, h.sampleRate1), " kHz") +
        ", bit depth = [bl]" + tableText(kBitDepthTable, h.wordLength1) + "[/bl] bit");
    if (h.sampleRate2 != 0xF && h.wordLength2 != 0xF) {
        lines.push_back(valueLine("Group 2 sampling frequency",
                                  tableText(kSampleRateText, h.sampleRate2), " kHz") +
                        ", bit depth = [bl]" + tableText(kBitDepthTable, h.wordLength2) +
                        "[/bl] bit");
    }
    lines.push_back(
        valueLine("Channel arrangement", tableText(kChannelTableA, h.channelAssignment)));
    if (f.channels) {
        const DvdAudioChannels& groups =
            kDvdAudioChannels[static_cast<std::size_t>(h.channelAssignment)];
        std::string channels = valueLine("Channels", std::to_string(*f.channels));
        if (groups.group2 > 0) {
            channels += ", [bl]" + std::to_string(groups.group1) + "[/bl] in group 1, [bl]" +
                        std::to_string(groups.group2) + "[/bl] in group 2";
        }
        lines.push_back(channels);
    }
    return lines;
}

}  // namespace kavrel::analysers
