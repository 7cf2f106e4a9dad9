#include "analysers/mlp.h"

#include <array>
#include <string_view>

#include "analysers/bit_reader.h"
#include "analysers/format_tables.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr uint32_t kMlpSync = 0xF8726FBB;
constexpr uint32_t kTrueHdSync = 0xF8726FBA;
constexpr std::size_t kMajorSyncBytes = 17;  // sync word through the substream count

std::string rateText(int code) {
    if (code >= 0 && static_cast<std::size_t>(code) < kSampleRateText.size() &&
        !kSampleRateText[code].empty()) {
        return std::string(kSampleRateText[code]);
    }
    return "unknown (" + std::to_string(code) + ")";
}

std::string depthText(int code) {
    if (code >= 0 && static_cast<std::size_t>(code) < kBitDepthTable.size()) {
        return std::string(kBitDepthTable[code]);
    }
    return "unknown (" + std::to_string(code) + ")";
}

// The speakers of the channel-assignment bits of a TrueHD presentation, least significant first.
struct SpeakerBit {
    std::string_view names;
    int speakers;
};
constexpr std::array<SpeakerBit, 13> kSpeakerBits = {{{"L + R", 2},
                                                      {"C", 1},
                                                      {"LFE", 1},
                                                      {"Ls + Rs", 2},
                                                      {"Tfl + Tfr", 2},
                                                      {"Lsc + Rsc", 2},
                                                      {"Lb + Rb", 2},
                                                      {"Cb", 1},
                                                      {"Tc", 1},
                                                      {"Lsd + Rsd", 2},
                                                      {"Lw + Rw", 2},
                                                      {"Tfc", 1},
                                                      {"LFE2", 1}}};
constexpr int kLfeBit = 2;

// The speakers of a TrueHD presentation's channel-assignment bits, for codes the table has no
// name for.
std::string speakerList(int assignment, int bitCount) {
    std::string list;
    for (int bit = 0; bit < bitCount && bit < 13; ++bit) {
        if (!(assignment & (1 << bit))) continue;
        if (!list.empty()) list += " + ";
        list += kSpeakerBits[bit].names;
    }
    return list.empty() ? "none" : list;
}

int speakerCount(int assignment) {
    int count = 0;
    for (int bit = 0; bit < 13; ++bit) {
        if (assignment & (1 << bit)) count += kSpeakerBits[bit].speakers;
    }
    return count;
}

}  // namespace

std::optional<MajorSync> findMajorSync(std::span<const uint8_t> payload) {
    for (std::size_t i = 0; i + kMajorSyncBytes <= payload.size(); ++i) {
        const uint32_t word = (uint32_t{payload[i]} << 24) | (uint32_t{payload[i + 1]} << 16) |
                              (uint32_t{payload[i + 2]} << 8) | payload[i + 3];
        if (word != kMlpSync && word != kTrueHdSync) continue;
        BitReader r(payload.subspan(i + 4, kMajorSyncBytes - 4));
        MajorSync s;
        s.trueHd = word == kTrueHdSync;
        if (s.trueHd) {
            s.sampleRate1 = static_cast<int>(r.bits(4));
            s.sampleRate2 = 0xF;
            r.skip(1 + 1 + 2 + 2 + 2);  // multichannel types, reserved, 2ch and 6ch modifiers
            s.channelAssignment = static_cast<int>(r.bits(5));
            r.skip(2);  // 8ch modifier
            s.eightChannelAssignment = static_cast<int>(r.bits(13));
        } else {
            s.bitDepth1 = static_cast<int>(r.bits(4));
            s.bitDepth2 = static_cast<int>(r.bits(4));
            s.sampleRate1 = static_cast<int>(r.bits(4));
            s.sampleRate2 = static_cast<int>(r.bits(4));
            r.skip(11);
            s.channelAssignment = static_cast<int>(r.bits(5));
        }
        const uint32_t signature = r.bits(16);
        r.skip(16 + 16);  // flags, reserved
        s.variableRate = r.flag();
        s.peakDataRate = r.bits(15);
        s.substreams = static_cast<int>(r.bits(4));
        // The signature guards against a sync word that is only audio data.
        if (!r.exhausted() && signature == 0xB752) return s;
    }
    return std::nullopt;
}

std::optional<uint64_t> peakBitrate(const MajorSync& s) {
    const uint32_t rate = dvdAudioSampleRate(s.sampleRate1);
    if (rate == 0) return std::nullopt;
    // The peak data rate counts bits per sample period in units of 1/16 bit.
    return (uint64_t{s.peakDataRate} * rate + 8) >> 4;
}

StreamFacts majorSyncFacts(const MajorSync& s) {
    StreamFacts f;
    f.codecName = s.trueHd ? "truehd" : "mlp";
    f.format = s.trueHd ? "Dolby TrueHD" : "MLP";
    if (const uint32_t rate = dvdAudioSampleRate(s.sampleRate1)) f.sampleRate = rate;
    if (s.trueHd) {
        // The widest presentation the stream carries.
        const int assignment =
            s.eightChannelAssignment != 0 ? s.eightChannelAssignment : s.channelAssignment;
        const int bits = s.eightChannelAssignment != 0 ? 13 : 5;
        if (assignment != 0) {
            f.channels = speakerCount(assignment);
            f.channelLayout = speakerList(assignment, bits);
            f.lfe = (assignment & (1 << kLfeBit)) != 0;
        }
    } else {
        if (const int bits = dvdAudioBitDepth(s.bitDepth1)) f.bitsPerSample = bits;
        const auto code = static_cast<std::size_t>(s.channelAssignment);
        if (code < kDvdAudioChannels.size()) {
            f.channels = kDvdAudioChannels[code].total();
            f.channelLayout = std::string(kChannelTableA[code]);
            f.lfe = (kDvdAudioChannels[code].wavMask & 0x8) != 0;
        }
    }
    return f;
}

std::vector<std::string> majorSyncLines(const MajorSync& s, int streamNumber) {
    std::vector<std::string> lines;
    const std::string number = std::to_string(streamNumber);
    if (s.trueHd) {
        lines.push_back("   Stream " + number + " is [b]Dolby TrueHD[/b]");
        lines.push_back(valueLine("Sampling frequency", rateText(s.sampleRate1), " kHz"));
        std::string arrangement;
        const auto code = static_cast<std::size_t>(s.channelAssignment);
        if (code < kChannelTableB.size() && !kChannelTableB[code].starts_with("???")) {
            arrangement = kChannelTableB[code];
        } else {
            arrangement = speakerList(s.channelAssignment, 5);
        }
        lines.push_back(valueLine("Channel arrangement", arrangement));
        if (s.eightChannelAssignment != 0 && s.eightChannelAssignment != s.channelAssignment) {
            lines.push_back(
                valueLine("8-channel presentation", speakerList(s.eightChannelAssignment, 13)));
        }
    } else {
        lines.push_back("   Stream " + number + " is [b]MLP[/b]");
        lines.push_back(valueLine("Sampling frequency", rateText(s.sampleRate1), " kHz") +
                        ", bit depth = [bl]" + depthText(s.bitDepth1) + "[/bl] bit");
        if (s.sampleRate2 != 0xF && s.bitDepth2 != 0xF) {
            lines.push_back(
                valueLine("Group 2 sampling frequency", rateText(s.sampleRate2), " kHz") +
                ", bit depth = [bl]" + depthText(s.bitDepth2) + "[/bl] bit");
        }
        const auto code = static_cast<std::size_t>(s.channelAssignment);
        lines.push_back(
            valueLine("Channel arrangement", code < kChannelTableA.size()
                                                 ? std::string(kChannelTableA[code])
                                                 : "unknown (" + std::to_string(code) + ")"));
    }
    if (const auto peak = peakBitrate(s)) {
        lines.push_back(valueLine("Peak bitrate", std::to_string(*peak / 1000), " kbit/s") +
                        (s.variableRate ? ", variable" : ""));
    }
    lines.push_back("   Substreams = " + std::to_string(s.substreams));
    return lines;
}

}  // namespace kavrel::analysers
