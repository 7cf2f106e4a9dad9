#include "analysers/mpeg_audio.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr std::size_t kHeaderBytes = 4;

// Bit rates in kbit/s by bit rate index 1-14: MPEG-1 layers I, II, III, then MPEG-2 and 2.5
// layer I, and layers II and III.
constexpr std::array<std::array<uint16_t, 15>, 5> kBitRates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
}};

// Sampling rates of MPEG-1 by sampling frequency code; MPEG-2 halves them, MPEG-2.5 quarters.
constexpr std::array<uint32_t, 3> kMpeg1SampleRates = {44100, 48000, 32000};

constexpr std::array<std::string_view, 4> kModes = {"stereo", "joint stereo", "dual channel",
                                                    "mono"};

std::optional<MpegAudioHeader> parseAt(std::span<const uint8_t> bytes, std::size_t at) {
    if (at + kHeaderBytes > bytes.size()) return std::nullopt;
    const uint8_t* b = bytes.data() + at;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return std::nullopt;
    const int versionCode = (b[1] >> 3) & 3;
    const int layerCode = (b[1] >> 1) & 3;
    const int rateIndex = b[2] >> 4;
    const int rateCode = (b[2] >> 2) & 3;
    const int emphasis = b[3] & 3;
    // Version 1 and layer 0 are reserved, bit rate index 15 is forbidden, emphasis 2 reserved.
    if (versionCode == 1 || layerCode == 0 || rateIndex == 15 || rateCode == 3 || emphasis == 2)
        return std::nullopt;
    MpegAudioHeader h;
    h.syncAt = at;
    h.version = versionCode == 3 ? 1 : versionCode == 2 ? 2 : 25;
    h.layer = 4 - layerCode;
    const std::size_t table =
        h.version == 1 ? static_cast<std::size_t>(h.layer - 1) : (h.layer == 1 ? 3u : 4u);
    h.bitRate = kBitRates[table][static_cast<std::size_t>(rateIndex)] * 1000u;
    const int shift = h.version == 1 ? 0 : h.version == 2 ? 1 : 2;
    h.sampleRate = kMpeg1SampleRates[static_cast<std::size_t>(rateCode)] >> shift;
    h.mode = b[3] >> 6;
    h.padding = (b[2] & 0x02) != 0;
    h.crc = (b[1] & 0x01) == 0;
    return h;
}

}  // namespace

uint32_t mpegAudioFrameBytes(const MpegAudioHeader& h) {
    if (h.bitRate == 0 || h.sampleRate == 0) return 0;
    const uint32_t padding = h.padding ? 1 : 0;
    if (h.layer == 1) return (12 * h.bitRate / h.sampleRate + padding) * 4;
    // Layer III of MPEG-2 and 2.5 codes half as many samples a frame.
    const uint32_t factor = h.layer == 3 && h.version != 1 ? 72 : 144;
    return factor * h.bitRate / h.sampleRate + padding;
}

std::optional<MpegAudioHeader> findMpegAudioHeader(std::span<const uint8_t> payload) {
    for (std::size_t at = 0; at + kHeaderBytes <= payload.size(); ++at) {
        const auto header = parseAt(payload, at);
        if (!header) continue;
        // Sync-like bytes inside audio data rarely start a second frame where the first ends.
        const std::size_t next = at + mpegAudioFrameBytes(*header);
        if (next > at && next + kHeaderBytes <= payload.size() && !parseAt(payload, next)) continue;
        return header;
    }
    return std::nullopt;
}

std::size_t mpegAudioBytesWanted(std::span<const uint8_t> payload) {
    for (std::size_t at = 0; at + kHeaderBytes <= payload.size(); ++at) {
        if (const auto header = parseAt(payload, at))
            return std::max(payload.size(), at + mpegAudioFrameBytes(*header) + kHeaderBytes);
    }
    return payload.size() + 1;
}

StreamFacts mpegAudioFacts(const MpegAudioHeader& h) {
    StreamFacts f;
    static constexpr std::array<const char*, 3> kCodecs = {"mp1", "mp2", "mp3"};
    static constexpr std::array<const char*, 3> kLayers = {"I", "II", "III"};
    const auto layer = static_cast<std::size_t>(h.layer - 1);
    f.codecName = kCodecs[layer];
    f.format = std::string(h.version == 1   ? "MPEG-1"
                           : h.version == 2 ? "MPEG-2"
                                            : "MPEG-2.5") +
               " Audio Layer " + kLayers[layer];
    f.sampleRate = h.sampleRate;
    if (h.bitRate) f.bitRate = h.bitRate;
    if (const uint32_t bytes = mpegAudioFrameBytes(h)) f.frameSize = bytes;
    f.channels = h.mode == 3 ? 1 : 2;
    f.channelLayout = h.mode == 3 ? "mono" : h.mode == 2 ? "dual mono" : "L + R";
    f.lfe = false;
    return f;
}

std::vector<std::string> mpegAudioLines(const MpegAudioHeader& h, const StreamFacts& f,
                                        int streamNumber) {
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]" + f.format + "[/b]");
    lines.push_back(valueLine("Sampling frequency", shortDecimal(h.sampleRate / 1000.0), " kHz"));
    lines.push_back(
        h.bitRate ? valueLine("Transmission bitrate", std::to_string(h.bitRate / 1000), " kbit/s")
                  : valueLine("Transmission bitrate", "free format"));
    lines.push_back(valueLine("Channel mode", kModes[static_cast<std::size_t>(h.mode & 3)]));
    return lines;
}

}  // namespace kavrel::analysers
