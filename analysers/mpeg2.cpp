#include "analysers/mpeg2.h"

#include <array>
#include <string_view>

#include "analysers/bit_reader.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr uint8_t kSequenceHeader = 0xB3;
constexpr uint8_t kExtension = 0xB5;
constexpr uint32_t kSequenceExtensionId = 1;

// Frame rates of codes 1-8 as numerator / denominator.
constexpr std::array<std::array<int, 2>, 9> kFrameRates = {{{0, 1},
                                                            {24000, 1001},
                                                            {24, 1},
                                                            {25, 1},
                                                            {30000, 1001},
                                                            {30, 1},
                                                            {50, 1},
                                                            {60000, 1001},
                                                            {60, 1}}};

std::string profileName(int profileAndLevel) {
    static constexpr std::array<std::string_view, 8> kProfiles = {
        "reserved", "High",   "Spatially Scalable", "SNR Scalable",
        "Main",     "Simple", "reserved",           "reserved"};
    return std::string(kProfiles[(profileAndLevel >> 4) & 7]);
}

std::string levelName(int profileAndLevel) {
    switch (profileAndLevel & 0x0F) {
        case 4:
            return "High";
        case 6:
            return "High 1440";
        case 8:
            return "Main";
        case 10:
            return "Low";
        default:
            return "reserved";
    }
}

std::string profileText(const StreamFacts& f, int profileAndLevel) {
    if (profileAndLevel & 0x80) return "escape (" + std::to_string(profileAndLevel) + ")";
    return f.profile.value_or("") + "@" + f.level.value_or("");
}

// The display aspect ratio of an MPEG-2 aspect_ratio_information code; code 1 means square
// samples, so the picture's own proportions.
std::optional<std::string> displayAspect(const Mpeg2Sequence& s) {
    switch (s.aspectCode) {
        case 1:
            return reducedRatio(static_cast<uint64_t>(s.width), static_cast<uint64_t>(s.height));
        case 2:
            return "4:3";
        case 3:
            return "16:9";
        case 4:
            return "221:100";
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<Mpeg2Sequence> findMpeg2Sequence(std::span<const uint8_t> payload) {
    for (std::size_t at = nextStartCode(payload, 0); at < payload.size();
         at = nextStartCode(payload, at)) {
        if (payload[at] != kSequenceHeader) continue;
        BitReader r(payload.subspan(at + 1));
        Mpeg2Sequence s;
        s.width = static_cast<int>(r.bits(12));
        s.height = static_cast<int>(r.bits(12));
        s.aspectCode = static_cast<int>(r.bits(4));
        s.frameRateCode = static_cast<int>(r.bits(4));
        const uint32_t bitRateValue = r.bits(18);
        r.skip(1 + 10 + 1);            // marker, vbv_buffer_size_value, constrained_parameters_flag
        if (r.flag()) r.skip(64 * 8);  // intra quantiser matrix
        if (r.flag()) r.skip(64 * 8);  // non-intra quantiser matrix
        if (r.exhausted()) return std::nullopt;
        s.bitrate = uint64_t{bitRateValue} * 400;

        // In MPEG-2 video the sequence extension directly follows the sequence header.
        const std::size_t headerEnd = at + 1 + static_cast<std::size_t>((r.position() + 7) / 8);
        const std::size_t next = nextStartCode(payload, headerEnd);
        if (next < payload.size() && payload[next] == kExtension) {
            BitReader e(payload.subspan(next + 1));
            if (e.bits(4) == kSequenceExtensionId) {
                const auto profileAndLevel = static_cast<int>(e.bits(8));
                const bool progressive = e.flag();
                const auto chroma = static_cast<int>(e.bits(2));
                const uint32_t widthExt = e.bits(2);
                const uint32_t heightExt = e.bits(2);
                const uint32_t bitRateExt = e.bits(12);
                e.skip(1 + 8 + 1);  // marker, vbv_buffer_size_extension, low_delay
                const auto extN = static_cast<int>(e.bits(2));
                const auto extD = static_cast<int>(e.bits(5));
                if (!e.exhausted()) {
                    s.hasExtension = true;
                    s.profileAndLevel = profileAndLevel;
                    s.progressive = progressive;
                    s.chromaFormat = chroma;
                    s.width |= static_cast<int>(widthExt << 12);
                    s.height |= static_cast<int>(heightExt << 12);
                    s.bitrate = ((uint64_t{bitRateExt} << 18) | bitRateValue) * 400;
                    s.frameRateExtN = extN;
                    s.frameRateExtD = extD;
                }
            }
        }
        return s;
    }
    return std::nullopt;
}

double mpeg2FrameRate(const Mpeg2Sequence& s) {
    if (s.frameRateCode < 1 || s.frameRateCode > 8) return 0;
    const auto& rate = kFrameRates[s.frameRateCode];
    return static_cast<double>(rate[0]) * (s.frameRateExtN + 1) /
           (static_cast<double>(rate[1]) * (s.frameRateExtD + 1));
}

StreamFacts mpeg2Facts(const Mpeg2Sequence& s) {
    StreamFacts f;
    f.codecName = s.hasExtension ? "mpeg2video" : "mpeg1video";
    f.format = s.hasExtension ? "MPEG-2" : "MPEG-1";
    f.width = s.width;
    f.height = s.height;
    // MPEG-1 codes a sample aspect ratio in the same field; only MPEG-2 codes the display's.
    if (s.hasExtension) f.displayAspectRatio = displayAspect(s);
    if (const double rate = mpeg2FrameRate(s); rate > 0) f.frameRate = rate;
    f.bitRate = s.bitrate;
    if (s.hasExtension) {
        f.interlaced = !s.progressive;
        if (!(s.profileAndLevel & 0x80)) {
            f.profile = profileName(s.profileAndLevel);
            f.level = levelName(s.profileAndLevel);
        }
    }
    return f;
}

std::vector<std::string> mpeg2Lines(const Mpeg2Sequence& s, const StreamFacts& f,
                                    int streamNumber) {
    static constexpr std::array<std::string_view, 5> kAspect = {"forbidden", "1:1 (square samples)",
                                                                "4:3", "16:9", "2.21:1"};
    static constexpr std::array<std::string_view, 4> kChroma = {"reserved", "4:2:0", "4:2:2",
                                                                "4:4:4"};
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]" + f.format +
                    "[/b] video");
    std::string size = valueLine(
        "Size", std::to_string(f.width.value_or(0)) + " x " + std::to_string(f.height.value_or(0)));
    if (s.hasExtension) {
        size += std::string(", [bl]") + (s.progressive ? "progressive" : "interlaced") + "[/bl]";
    }
    lines.push_back(size);
    lines.push_back(valueLine(
        "Aspect ratio", s.aspectCode < 5 ? std::string(kAspect[s.aspectCode])
                                         : "reserved (" + std::to_string(s.aspectCode) + ")"));
    lines.push_back(f.frameRate ? valueLine("Frame rate", shortDecimal(*f.frameRate), " fps")
                                : valueLine("Frame rate", "reserved"));
    lines.push_back(valueLine("Bitrate",
                              shortDecimal(static_cast<double>(f.bitRate.value_or(0)) / 1000.0, 1),
                              " kbit/s"));
    if (s.hasExtension) {
        lines.push_back(valueLine("Profile", profileText(f, s.profileAndLevel)) +
                        ", chroma format = [bl]" + std::string(kChroma[s.chromaFormat & 3]) +
                        "[/bl]");
    }
    return lines;
}

}  // namespace kavrel::analysers
