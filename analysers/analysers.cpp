#include "analysers/analysers.h"

#include "analysers/ac3.h"
#include "analysers/dts.h"
#include "analysers/h264.h"
#include "analysers/lpcm.h"
#include "analysers/mlp.h"
#include "analysers/mpeg2.h"
#include "analysers/mpeg_audio.h"
#include "analysers/text.h"
#include "analysers/vc1.h"

namespace kavrel::analysers {
namespace {

void append(std::vector<std::string>& lines, std::vector<std::string> more) {
    for (auto& line : more) lines.push_back(std::move(line));
}

// H.264 streams whose parameter sets carry no timing were taken as film rate.
constexpr double kDefaultH264FrameRate = 24000.0 / 1001.0;

// Every header the payload yields is logged; the facts are those of the last, the one taken.
Analysis analyseDolby(std::span<const uint8_t> run, int audioNumber) {
    Analysis result;
    const std::vector<DolbyHeader> headers = findDolbyHeaders(run);
    for (std::size_t i = 0; i < headers.size(); ++i) {
        const bool taken = i + 1 == headers.size();
        const auto dependent =
            taken ? findDependentChannels(run, headers[i]) : std::optional<DependentChannels>();
        StreamFacts facts = dolbyFacts(headers[i], dependent);
        append(result.lines, dolbyLines(headers[i], facts, audioNumber, dependent));
        if (taken) result.facts = std::move(facts);
    }
    return result;
}

Analysis analyseLpcm(LpcmCarriage carriage, std::span<const uint8_t> run, int audioNumber,
                     std::span<const uint8_t> privateHeader) {
    Analysis result;
    switch (carriage) {
        case LpcmCarriage::Video:
            if (const auto header = parseLpcmHeader(privateHeader)) {
                result.facts = lpcmFacts(*header);
                result.lines = lpcmLines(*header, result.facts, audioNumber);
            }
            break;
        case LpcmCarriage::DvdAudio:
            if (const auto header = parseAobPcmHeader(privateHeader)) {
                result.facts = aobPcmFacts(*header);
                result.lines = aobPcmLines(*header, result.facts, audioNumber);
            }
            break;
        case LpcmCarriage::DvdAudioMlp:
            if (const auto sync = findMajorSync(run)) {
                result.facts = majorSyncFacts(*sync);
                result.lines = majorSyncLines(*sync, audioNumber);
            }
            break;
    }
    return result;
}

}  // namespace

Analysis analyseAudio(AudioClass audioClass, LpcmCarriage carriage, std::span<const uint8_t> run,
                      int audioNumber, std::span<const uint8_t> privateHeader) {
    Analysis result;
    switch (audioClass) {
        case AudioClass::DolbyDigital:
        case AudioClass::DolbyDigitalPlus:
            return analyseDolby(run, audioNumber);
        case AudioClass::Dts: {
            const DtsInfo info = parseDts(run);
            result.facts = dtsFacts(info);
            result.lines = dtsLines(info, result.facts, audioNumber);
            break;
        }
        case AudioClass::Lpcm:
            return analyseLpcm(carriage, run, audioNumber, privateHeader);
        case AudioClass::TrueHd:
            if (const auto sync = findMajorSync(run)) {
                result.facts = majorSyncFacts(*sync);
                result.lines = majorSyncLines(*sync, audioNumber);
            }
            break;
        case AudioClass::MpegAudio:
            if (const auto header = findMpegAudioHeader(run)) {
                result.facts = mpegAudioFacts(*header);
                result.lines = mpegAudioLines(*header, result.facts, audioNumber);
            }
            break;
    }
    return result;
}

std::size_t audioBytesWanted(AudioClass audioClass, std::span<const uint8_t> payload) {
    switch (audioClass) {
        case AudioClass::DolbyDigital:
        case AudioClass::DolbyDigitalPlus:
            return dolbyBytesWanted(payload);
        case AudioClass::MpegAudio:
            return mpegAudioBytesWanted(payload);
        default:
            break;
    }
    return payload.size();
}

Analysis analyseVideo(VideoKind kind, std::span<const uint8_t> run, int videoNumber) {
    Analysis result;
    switch (kind) {
        case VideoKind::Vc1:
            if (const auto header = findVc1SequenceHeader(run)) {
                result.facts = vc1Facts(*header);
                result.lines = vc1Lines(*header, result.facts, videoNumber);
                result.frameRate = header->frameRate;
            }
            break;
        case VideoKind::H264: {
            const auto sps = findH264Sps(run);
            if (sps) {
                result.facts = h264Facts(*sps);
                result.lines = h264Lines(*sps, result.facts, videoNumber);
            }
            const double rate = result.facts.frameRate.value_or(0);
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
                result.facts = mpeg2Facts(*sequence);
                result.lines = mpeg2Lines(*sequence, result.facts, videoNumber);
                result.frameRate = mpeg2FrameRate(*sequence);
            }
            break;
    }
    return result;
}

}  // namespace kavrel::analysers
