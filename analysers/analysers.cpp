#include "analysers/analysers.h"

#include "analysers/ac3.h"
#include "analysers/dts.h"
#include "analysers/h264.h"
#include "analysers/lpcm.h"
#include "analysers/mlp.h"
#include "analysers/mpeg2.h"
#include "analysers/text.h"
#include "analysers/vc1.h"

namespace kavrel::analysers {
namespace {

void append(std::vector<std::string>& lines, std::vector<std::string> more) {
    for (auto& line : more) lines.push_back(std::move(line));
}

// H.264 streams whose parameter sets carry no timing were taken as film rate.
constexpr double kDefaultH264FrameRate = 24000.0 / 1001.0;

}  // namespace

Analysis analyseAudio(AudioClass audioClass, bool mlp, std::span<const uint8_t> run,
                      int audioNumber, std::span<const uint8_t> privateHeader) {
    Analysis result;
    switch (audioClass) {
        case AudioClass::DolbyDigital:
        case AudioClass::DolbyDigitalPlus:
            for (const auto& header : findDolbyHeaders(run)) {
                append(result.lines, dolbyLines(header, audioNumber));
            }
            break;
        case AudioClass::Dts:
            result.lines = dtsLines(parseDts(run), audioNumber);
            break;
        case AudioClass::Lpcm:
            if (!mlp) {
                if (const auto header = parseLpcmHeader(privateHeader)) {
                    result.lines = lpcmLines(*header, audioNumber);
                }
                break;
            }
            [[fallthrough]];
        case AudioClass::TrueHd:
            if (const auto sync = findMajorSync(run)) {
                result.lines = majorSyncLines(*sync, audioNumber);
            }
            break;
    }
    return result;
}

Analysis analyseAobLpcm(std::span<const uint8_t> run, int audioNumber,
                        std::span<const uint8_t> privateHeader) {
    Analysis result;
    if (const auto header = parseAobPcmHeader(privateHeader, run)) {
        result.lines = aobPcmLines(*header, audioNumber);
    }
    return result;
}

Analysis analyseVideo(VideoKind kind, std::span<const uint8_t> run, uint32_t /*dts*/,
                      int videoNumber, uint32_t /*firstPts*/) {
    Analysis result;
    switch (kind) {
        case VideoKind::Vc1:
            if (const auto header = findVc1SequenceHeader(run)) {
                result.lines = vc1Lines(*header, videoNumber);
                result.frameRate = header->frameRate;
            }
            break;
        case VideoKind::H264: {
            const auto sps = findH264Sps(run);
            if (sps) result.lines = h264Lines(*sps, videoNumber);
            const double rate = sps ? h264FrameRate(*sps) : 0;
            result.frameRate = rate > 0 ? rate : kDefaultH264FrameRate;
            if (sps) {
                result.lines.push_back(
                    rate > 0 ? valueLine("Frame rate", shortDecimal(rate), " fps")
                             : valueLine("Frame rate", shortDecimal(kDefaultH264FrameRate),
                                         " fps (assumed, no timing information)"));
            }
            break;
        }
        case VideoKind::Mpeg2:
            if (const auto sequence = findMpeg2Sequence(run)) {
                result.lines = mpeg2Lines(*sequence, videoNumber);
                result.frameRate = mpeg2FrameRate(*sequence);
            }
            break;
    }
    return result;
}

}  // namespace kavrel::analysers
