#include "analysers/h264.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "analysers/bit_reader.h"
#include "analysers/sample_aspect.h"
#include "analysers/text.h"

namespace kavrel::analysers {
namespace {

constexpr int kSpsNalType = 7;

bool hasChromaInfo(int profile) {
    switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135:
            return true;
        default:
            return false;
    }
}

void skipScalingList(BitReader& r, int size) {
    int last = 8;
    int next = 8;
    for (int j = 0; j < size && !r.exhausted(); ++j) {
        // delta_scale is -128..127 in a valid stream; a damaged one may be any 32-bit value.
        if (next != 0) next = static_cast<int>((int64_t{last} + r.se() + 256) % 256);
        last = next == 0 ? last : next;
    }
}

// chroma_format_idc, the bit depths and the scaling matrices, which only the high profiles
// carry. False when the chroma format is out of range.
bool readHighProfileFields(BitReader& r, H264Sps& s) {
    s.chromaFormat = static_cast<int>(r.ue());
    if (s.chromaFormat > 3) return false;
    bool separatePlanes = false;
    if (s.chromaFormat == 3) separatePlanes = r.flag();
    if (separatePlanes) s.chromaFormat = 0;  // cropping as for monochrome
    s.bitDepthLuma = static_cast<int>(r.ue()) + 8;
    r.ue();          // bit_depth_chroma_minus8
    r.skip(1);       // qpprime_y_zero_transform_bypass_flag
    if (r.flag()) {  // seq_scaling_matrix_present_flag
        const int lists = s.chromaFormat == 3 ? 12 : 8;
        for (int i = 0; i < lists; ++i) {
            if (r.flag()) skipScalingList(r, i < 6 ? 16 : 64);
        }
    }
    if (separatePlanes) s.chromaFormat = 3;
    return true;
}

// log2_max_frame_num through gaps_in_frame_num_value_allowed_flag. False for a picture order
// count type or cycle out of range.
bool skipFrameNumbering(BitReader& r) {
    r.ue();  // log2_max_frame_num_minus4
    const uint32_t pocType = r.ue();
    if (pocType == 0) {
        r.ue();  // log2_max_pic_order_cnt_lsb_minus4
    } else if (pocType == 1) {
        r.skip(1);
        r.se();
        r.se();
        const uint32_t cycle = r.ue();
        if (cycle > 255) return false;
        for (uint32_t i = 0; i < cycle; ++i) r.se();
    } else if (pocType != 2) {
        return false;
    }
    r.ue();     // max_num_ref_frames
    r.skip(1);  // gaps_in_frame_num_value_allowed_flag
    return true;
}

// The picture size in macroblocks and the frame cropping give the displayed size. False when
// the header is cut short or the size is beyond any level.
bool readFrameSize(BitReader& r, H264Sps& s) {
    const uint32_t widthInMbs = r.ue() + 1;
    const uint32_t heightInMapUnits = r.ue() + 1;
    s.frameMbsOnly = r.flag();
    if (!s.frameMbsOnly) r.skip(1);  // mb_adaptive_frame_field_flag
    r.skip(1);                       // direct_8x8_inference_flag
    uint32_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    if (r.flag()) {
        cropLeft = r.ue();
        cropRight = r.ue();
        cropTop = r.ue();
        cropBottom = r.ue();
    }
    if (r.exhausted() || widthInMbs > 1024 || heightInMapUnits > 1024) return false;
    const uint32_t fieldFactor = s.frameMbsOnly ? 1 : 2;
    const uint32_t cropUnitX = (s.chromaFormat == 1 || s.chromaFormat == 2) ? 2 : 1;
    const uint32_t cropUnitY = (s.chromaFormat == 1 ? 2 : 1) * fieldFactor;
    const uint64_t codedWidth = uint64_t{widthInMbs} * 16;
    const uint64_t codedHeight = uint64_t{heightInMapUnits} * 16 * fieldFactor;
    const uint64_t cropX = uint64_t{cropUnitX} * (uint64_t{cropLeft} + cropRight);
    const uint64_t cropY = uint64_t{cropUnitY} * (uint64_t{cropTop} + cropBottom);
    // A crop as large as the picture is invalid: show the coded size instead.
    s.width = static_cast<int>(cropX < codedWidth ? codedWidth - cropX : codedWidth);
    s.height = static_cast<int>(cropY < codedHeight ? codedHeight - cropY : codedHeight);
    return true;
}

// The video usability information up to its timing: the sample aspect ratio and the frame rate.
void readVui(BitReader& r, H264Sps& s) {
    if (r.flag()) {  // aspect_ratio_info_present_flag
        const uint32_t idc = r.bits(8);
        if (idc == 255) {
            s.sarWidth = static_cast<int>(r.bits(16));
            s.sarHeight = static_cast<int>(r.bits(16));
        } else if (idc < kSampleAspects.size()) {
            s.sarWidth = kSampleAspects[idc].width;
            s.sarHeight = kSampleAspects[idc].height;
        }
    }
    if (r.flag()) r.skip(1);  // overscan_info_present_flag, overscan_appropriate_flag
    if (r.flag()) {           // video_signal_type_present_flag
        r.skip(3 + 1);
        if (r.flag()) r.skip(24);  // colour description
    }
    if (r.flag()) {  // chroma_loc_info_present_flag
        r.ue();
        r.ue();
    }
    if (r.flag()) {  // timing_info_present_flag
        s.unitsInTick = r.bits(32);
        s.timeScale = r.bits(32);
        s.fixedFrameRate = r.flag();
        s.timingInfo = !r.exhausted() && s.unitsInTick != 0 && s.timeScale != 0;
    }
}

std::optional<H264Sps> parse(std::span<const uint8_t> rbsp) {
    BitReader r(rbsp);
    H264Sps s;
    s.profile = static_cast<int>(r.bits(8));
    s.constraints = static_cast<int>(r.bits(8));
    s.level = static_cast<int>(r.bits(8));
    if (r.ue() > 31) return std::nullopt;  // seq_parameter_set_id
    if (hasChromaInfo(s.profile) && !readHighProfileFields(r, s)) return std::nullopt;
    if (!skipFrameNumbering(r) || !readFrameSize(r, s)) return std::nullopt;
    if (r.flag()) readVui(r, s);  // vui_parameters_present_flag
    return s;
}

std::string profileName(int profile) {
    switch (profile) {
        case 66:
            return "Baseline";
        case 77:
            return "Main";
        case 88:
            return "Extended";
        case 100:
            return "High";
        case 110:
            return "High 10";
        case 122:
            return "High 4:2:2";
        case 244:
            return "High 4:4:4 Predictive";
        case 44:
            return "CAVLC 4:4:4 Intra";
        default:
            return "profile " + std::to_string(profile);
    }
}

std::string levelName(const H264Sps& s) {
    // Level 1b is level_idc 11 with constraint_set3_flag in the Baseline, Main and Extended
    // profiles, and level_idc 9 in the others.
    if (s.level == 9 || (s.level == 11 && (s.constraints & 0x10) &&
                         (s.profile == 66 || s.profile == 77 || s.profile == 88))) {
        return "1b";
    }
    return shortDecimal(s.level / 10.0, 1);
}

}  // namespace

std::optional<H264Sps> findH264Sps(std::span<const uint8_t> payload) {
    for (std::size_t at = nextStartCode(payload, 0); at < payload.size();
         at = nextStartCode(payload, at)) {
        if ((payload[at] & 0x1F) != kSpsNalType || (payload[at] & 0x80) != 0) continue;
        const std::size_t body = at + 1;
        const std::size_t end = nextStartCode(payload, body);
        const std::size_t unitEnd = end < payload.size() ? end - 3 : payload.size();
        const std::vector<uint8_t> rbsp =
            removeEmulationPrevention(payload.subspan(body, unitEnd - body));
        if (auto sps = parse(rbsp)) return sps;
    }
    return std::nullopt;
}

double h264FrameRate(const H264Sps& s) {
    if (!s.timingInfo) return 0;
    const double rate = static_cast<double>(s.timeScale) / (2.0 * s.unitsInTick);
    // No coded video runs near this fast: such timing is damage, not a frame rate.
    constexpr double kHighestFrameRate = 1000;
    return rate <= kHighestFrameRate ? rate : 0;
}

StreamFacts h264Facts(const H264Sps& s) {
    StreamFacts f;
    f.codecName = "h264";
    f.format = "H.264 (AVC)";
    f.width = s.width;
    f.height = s.height;
    if (s.sarWidth > 0 && s.sarHeight > 0) {
        f.displayAspectRatio = reducedRatio(uint64_t(s.width) * uint64_t(s.sarWidth),
                                            uint64_t(s.height) * uint64_t(s.sarHeight));
    }
    if (const double rate = h264FrameRate(s); rate > 0) f.frameRate = rate;
    f.interlaced = !s.frameMbsOnly;
    f.profile = profileName(s.profile);
    f.level = levelName(s);
    return f;
}

std::vector<std::string> h264Lines(const H264Sps& s, const StreamFacts& f, int streamNumber) {
    static constexpr std::array<std::string_view, 4> kChroma = {"4:0:0 (monochrome)", "4:2:0",
                                                                "4:2:2", "4:4:4"};
    std::vector<std::string> lines;
    lines.push_back("   Stream " + std::to_string(streamNumber) + " is [b]" + f.format + "[/b]");
    lines.push_back(valueLine("Profile", f.profile.value_or("")) + ", level = [bl]" +
                    f.level.value_or("") + "[/bl]");
    lines.push_back(valueLine("Size", std::to_string(f.width.value_or(0)) + " x " +
                                          std::to_string(f.height.value_or(0))) +
                    ", [bl]" + (f.interlaced.value_or(false) ? "interlaced" : "progressive") +
                    "[/bl]");
    lines.push_back(valueLine("Chroma format", kChroma[s.chromaFormat & 3]) + ", bit depth = [bl]" +
                    std::to_string(s.bitDepthLuma) + "[/bl]");
    if (s.sarWidth > 0 && s.sarHeight > 0) {
        lines.push_back(valueLine("Sample aspect ratio",
                                  std::to_string(s.sarWidth) + ":" + std::to_string(s.sarHeight)));
    }
    return lines;
}

}  // namespace kavrel::analysers
