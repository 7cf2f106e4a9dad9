#include "analysers/vc1.h"

#include <array>
#include <string_view>

#include "analysers/bit_reader.h"
#include "analysers/sample_aspect.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr uint8_t kSequenceHeader = 0x0F;

// Frame rate numerator codes 1-7 in frames per second.
constexpr std::array<int, 8> kFrameRateNumerator = {0, 24, 25, 30, 50, 60, 48, 72};

std::optional<Vc1SequenceHeader> parse(std::span<const uint8_t> unit) {
    const std::vector<uint8_t> bytes = removeEmulationPrevention(unit);
    BitReader r(bytes);
    Vc1SequenceHeader h;
    h.profile = static_cast<int>(r.bits(2));
    if (h.profile != 3) return std::nullopt;
    h.level = static_cast<int>(r.bits(3));
    h.chromaFormat = static_cast<int>(r.bits(2));
    r.skip(3 + 5 + 1);  // FRMRTQ_POSTPROC, BITRTQ_POSTPROC, POSTPROCFLAG
    h.codedWidth = (static_cast<int>(r.bits(12)) + 1) * 2;
    h.codedHeight = (static_cast<int>(r.bits(12)) + 1) * 2;
    h.pulldown = r.flag();
    h.interlace = r.flag();
    r.skip(1 + 1 + 1);  // TFCNTRFLAG, FINTERPFLAG, reserved
    h.progressiveSegmentedFrame = r.flag();
    h.displayExtension = r.flag();
    if (h.displayExtension) {
        h.displayWidth = static_cast<int>(r.bits(14)) + 1;
        h.displayHeight = static_cast<int>(r.bits(14)) + 1;
        if (r.flag()) {  // ASPECT_RATIO_FLAG
            h.aspectRatioCode = static_cast<int>(r.bits(4));
            if (h.aspectRatioCode == 15) {
                h.aspectWidth = static_cast<int>(r.bits(8));
                h.aspectHeight = static_cast<int>(r.bits(8));
            } else if (h.aspectRatioCode <= kLastVc1SampleAspectCode) {
                const SampleAspect& ratio =
                    kSampleAspects[static_cast<std::size_t>(h.aspectRatioCode)];
                h.aspectWidth = ratio.width;
                h.aspectHeight = ratio.height;
            }
        }
        if (r.flag()) {      // FRAMERATE_FLAG
            if (r.flag()) {  // FRAMERATEIND: explicit rate in 1/32 frames per second
                h.frameRate = (r.bits(16) + 1) / 32.0;
            } else {
                const uint32_t numerator = r.bits(8);
                const uint32_t denominator = r.bits(4);
                if (numerator >= 1 && numerator <= 7 && (denominator == 1 || denominator == 2)) {
                    h.frameRate = kFrameRateNumerator[numerator] / (denominator == 2 ? 1.001 : 1.0);
                }
            }
        }
    }
    if (r.exhausted()) return std::nullopt;
    return h;
}

}  // namespace

std::optional<Vc1SequenceHeader> findVc1SequenceHeader(std::span<const uint8_t> payload) {
    for (std::size_t at = nextStartCode(payload, 0); at < payload.size();
         at = nextStartCode(payload, at)) {
        if (payload[at] != kSequenceHeader) continue;
        const std::size_t body = at + 1;
        const std::size_t end = nextStartCode(payload, body);
        // The unit runs up to the next start code prefix (or the end of the payload).
        const std::size_t unitEnd = end < payload.size() ? end - 3 : payload.size();
        return parse(payload.subspan(body, unitEnd - body));
    }
    return std::nullopt;
}

StreamFacts vc1Facts(const Vc1SequenceHeader& h) {
    StreamFacts f;
    f.codecName = "vc1";
    f.format = "VC-1";
    f.width = h.codedWidth;
    f.height = h.codedHeight;
    if (h.displayExtension && h.aspectWidth > 0 && h.aspectHeight > 0) {
        f.displayAspectRatio = reducedRatio(uint64_t(h.displayWidth) * uint64_t(h.aspectWidth),
                                            uint64_t(h.displayHeight) * uint64_t(h.aspectHeight));
    }
    if (h.frameRate > 0) f.frameRate = h.frameRate;
    f.interlaced = h.interlace;
    f.profile = "Advanced";
    f.level = std::to_string(h.level);
    return f;
}

std::vector<std::string> vc1Lines(const Vc1SequenceHeader& h, const StreamFacts& f,
                                  int streamNumber) {
    static constexpr std::array<std::string_view, 4> kChroma = {"reserved", "4:2:0", "reserved",
                                                                "reserved"};
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]" + f.format + "[/b]");
    lines.push_back(valueLine("Profile", f.profile.value_or("")) + ", level = [bl]" +
                    f.level.value_or("") + "[/bl]");
    lines.push_back(valueLine("Coded size", std::to_string(f.width.value_or(0)) + " x " +
                                                std::to_string(f.height.value_or(0))) +
                    ", [bl]" + (h.interlace ? "interlaced" : "progressive") + "[/bl]" +
                    (h.pulldown ? ", pulldown" : ""));
    lines.push_back(valueLine("Chroma format", kChroma[h.chromaFormat & 3]));
    if (h.displayExtension) {
        lines.push_back(valueLine("Display size", std::to_string(h.displayWidth) + " x " +
                                                      std::to_string(h.displayHeight)));
    }
    if (h.aspectWidth > 0 && h.aspectHeight > 0) {
        lines.push_back(valueLine("Sample aspect ratio", std::to_string(h.aspectWidth) + ":" +
                                                             std::to_string(h.aspectHeight)));
        if (h.displayExtension) {
            const double dar = static_cast<double>(h.displayWidth) * h.aspectWidth /
                               (static_cast<double>(h.displayHeight) * h.aspectHeight);
            lines.push_back(valueLine("Display aspect ratio", shortDecimal(dar, 2) + ":1"));
        }
    }
    lines.push_back(f.frameRate ? valueLine("Frame rate", shortDecimal(*f.frameRate), " fps")
                                : valueLine("Frame rate", "not given"));
    return lines;
}

}  // namespace kavrel::analysers
