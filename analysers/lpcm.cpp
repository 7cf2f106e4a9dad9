#include "analysers/lpcm.h"

#include <array>
#include <string_view>

#include "analysers/text.h"
#include "analysers/format_tables.h"

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

std::vector<std::string> lpcmLines(const LpcmHeader& h, int streamNumber) {
    static constexpr std::array<std::string_view, 4> kRates = {"48", "96", "44.1", "32"};
    static constexpr std::array<std::string_view, 4> kDepths = {"16", "20", "24", "reserved"};
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]LPCM[/b]");
    lines.push_back(valueLine("Sampling frequency", kRates[h.sampleRateCode & 3], " kHz"));
    lines.push_back(
        valueLine("Bit depth", kDepths[h.wordLengthCode & 3], h.wordLengthCode == 3 ? "" : " bit"));
    lines.push_back(valueLine("Channels", std::to_string(h.channels)));
    if (h.emphasis) lines.push_back(valueLine("Emphasis", "on"));
    if (h.mute) lines.push_back(valueLine("Mute", "on"));
    return lines;
}

std::optional<AobPcmHeader> parseAobPcmHeader(std::span<const uint8_t> privateHeader,
                                              std::span<const uint8_t> payload) {
    // The header length counts the header bytes that follow it; the fields read here need five.
    if (privateHeader.size() >= 3 && privateHeader[2] < 5) return std::nullopt;
    if (payload.size() < 5) return std::nullopt;
    AobPcmHeader h;
    h.wordLength1 = payload[1] >> 4;
    h.wordLength2 = payload[1] & 0x0F;
    h.sampleRate1 = payload[2] >> 4;
    h.sampleRate2 = payload[2] & 0x0F;
    h.channelAssignment = payload[4];
    return h;
}

std::vector<std::string> aobPcmLines(const AobPcmHeader& h, int streamNumber) {
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
    return lines;
}

}  // namespace kavrel::analysers
