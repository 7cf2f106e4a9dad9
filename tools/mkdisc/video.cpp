// Video frames: real sequence-level headers, then a frame header and non-zero filler, so that
// the only start codes in the stream are the ones written on purpose.
#include <stdexcept>

#include "tools/mkdisc/bit_writer.h"
#include "tools/mkdisc/elementary.h"

namespace kavrel::mkdisc {

namespace {

class VideoBuilder : public AccessUnitBuilder {
  public:
    VideoBuilder(const VideoFormat& format, Filler& filler) : format_(format), filler_(filler) {}

    // A frame of a size that varies around the typical one: the codec's headers, then filler.
    void build(uint64_t index, std::vector<uint8_t>& out) final {
        const std::size_t start = out.size();
        const uint32_t typical = intra(index) ? format_.intraBytes : format_.interBytes;
        const uint32_t size = filler_.between(typical - typical / 4, typical + typical / 4);
        appendHeaders(index, out);
        const std::size_t used = out.size() - start;
        filler_.appendNonZero(out, size > used ? size - used : 16);
    }

  protected:
    bool intra(uint64_t index) const { return index % format_.gopLength == 0; }
    // The start codes and headers of frame `index`, up to where its coded data begins.
    virtual void appendHeaders(uint64_t index, std::vector<uint8_t>& out) = 0;

    VideoFormat format_;
    Filler& filler_;
};

// SMPTE 421M advanced profile: sequence header and entry point at every intra frame.
class Vc1Builder : public VideoBuilder {
  public:
    using VideoBuilder::VideoBuilder;

  protected:
    void appendHeaders(uint64_t index, std::vector<uint8_t>& out) override {
        if (intra(index)) {
            appendStartCode(out, 0x0F);
            appendEscaped(out, sequenceHeader());
            appendStartCode(out, 0x0E);
            appendEscaped(out, entryPoint());
        }
        appendStartCode(out, 0x0D);
        // Progressive frame: picture type I is the code 110, P the code 0.
        out.push_back(intra(index) ? 0xC7 : 0x47);
    }

  private:
    std::vector<uint8_t> sequenceHeader() const {
        BitWriter w;
        w.put(3, 2);                                // PROFILE: advanced
        w.put(3, 3);                                // LEVEL 3
        w.put(1, 2);                                // COLORDIFF_FORMAT 4:2:0
        w.put(7, 3);                                // FRMRTQ_POSTPROC
        w.put(31, 5);                               // BITRTQ_POSTPROC
        w.put(0, 1);                                // POSTPROCFLAG
        w.put(format_.width / 2 - 1, 12);           // MAX_CODED_WIDTH
        w.put(format_.height / 2 - 1, 12);          // MAX_CODED_HEIGHT
        w.put(0, 1);                                // PULLDOWN
        w.put(0, 1);                                // INTERLACE
        w.put(0, 1);                                // TFCNTRFLAG
        w.put(0, 1);                                // FINTERPFLAG
        w.put(1, 1);                                // reserved
        w.put(0, 1);                                // PSF
        w.put(1, 1);                                // DISPLAY_EXT
        w.put(format_.width - 1, 14);               // DISP_HORIZ_SIZE
        w.put(format_.height - 1, 14);              // DISP_VERT_SIZE
        w.put(1, 1);                                // ASPECT_RATIO_FLAG
        w.put(1, 4);                                // ASPECT_RATIO: square samples
        w.put(1, 1);                                // FRAMERATE_FLAG
        w.put(0, 1);                                // FRAMERATEIND: coded as numerator and divisor
        w.put(frameRateNumeratorCode(), 8);         // FRAMERATENR
        w.put(format_.rateDen == 1001 ? 2 : 1, 4);  // FRAMERATEDR: 1000 or 1001
        w.put(0, 1);                                // COLOR_FORMAT_FLAG
        w.put(0, 1);                                // HRD_PARAM_FLAG
        w.trailingBits();
        return w.bytes();
    }

    // FRAMERATENR codes 1..5 stand for 24, 25, 30, 50 and 60 (times 1000 / FRAMERATEDR).
    uint32_t frameRateNumeratorCode() const {
        uint32_t rate = format_.rateDen == 1001 ? format_.rateNum / 1000 : format_.rateNum;
        switch (rate) {
            case 24:
                return 1;
            case 25:
                return 2;
            case 30:
                return 3;
            case 50:
                return 4;
            case 60:
                return 5;
            default:
                throw std::invalid_argument("VC-1 frame rate not codable");
        }
    }

    static std::vector<uint8_t> entryPoint() {
        BitWriter w;
        w.put(0, 1);  // BROKEN_LINK
        w.put(1, 1);  // CLOSED_ENTRY
        w.put(0, 1);  // PANSCAN_FLAG
        w.put(0, 1);  // REFDIST_FLAG
        w.put(1, 1);  // LOOPFILTER
        w.put(0, 1);  // FASTUVMC
        w.put(0, 1);  // EXTENDED_MV
        w.put(0, 2);  // DQUANT
        w.put(1, 1);  // VSTRANSFORM
        w.put(0, 1);  // OVERLAP
        w.put(0, 2);  // QUANTIZER
        w.put(0, 1);  // CODED_SIZE_FLAG
        w.put(0, 1);  // RANGE_MAPY_FLAG
        w.put(0, 1);  // RANGE_MAPUV_FLAG
        w.trailingBits();
        return w.bytes();
    }
};

// H.264 High profile: an access unit delimiter per frame, SPS and PPS before every IDR frame.
class H264Builder : public VideoBuilder {
  public:
    using VideoBuilder::VideoBuilder;

  protected:
    void appendHeaders(uint64_t index, std::vector<uint8_t>& out) override {
        appendStartCode(out, 0x09);
        out.push_back(0xF0);  // primary_pic_type 7 (any slice type) and the stop bit
        if (intra(index)) {
            appendStartCode(out, 0x67);
            appendEscaped(out, sequenceParameterSet());
            appendStartCode(out, 0x68);
            appendEscaped(out, pictureParameterSet());
        }
        appendStartCode(out, intra(index) ? 0x65 : 0x41);  // IDR slice or reference slice
    }

  private:
    std::vector<uint8_t> sequenceParameterSet() const {
        BitWriter w;
        w.put(100, 8);  // profile_idc: High
        w.put(0, 8);    // constraint flags
        w.put(41, 8);   // level_idc 4.1
        w.ue(0);        // seq_parameter_set_id
        w.ue(1);        // chroma_format_idc 4:2:0
        w.ue(0);        // bit_depth_luma_minus8
        w.ue(0);        // bit_depth_chroma_minus8
        w.put(0, 1);    // qpprime_y_zero_transform_bypass_flag
        w.put(0, 1);    // seq_scaling_matrix_present_flag
        w.ue(0);        // log2_max_frame_num_minus4
        w.ue(2);        // pic_order_cnt_type
        w.ue(1);        // max_num_ref_frames
        w.put(0, 1);    // gaps_in_frame_num_value_allowed_flag
        uint32_t mbWidth = (format_.width + 15) / 16;
        uint32_t mbHeight = (format_.height + 15) / 16;
        w.ue(mbWidth - 1);
        w.ue(mbHeight - 1);
        w.put(1, 1);                                                 // frame_mbs_only_flag
        w.put(1, 1);                                                 // direct_8x8_inference_flag
        uint32_t cropBottom = (mbHeight * 16 - format_.height) / 2;  // in 2-line units
        uint32_t cropRight = (mbWidth * 16 - format_.width) / 2;
        bool crop = cropBottom != 0 || cropRight != 0;
        w.put(crop ? 1 : 0, 1);
        if (crop) {
            w.ue(0);
            w.ue(cropRight);
            w.ue(0);
            w.ue(cropBottom);
        }
        w.put(1, 1);                     // vui_parameters_present_flag
        w.put(1, 1);                     // aspect_ratio_info_present_flag
        w.put(1, 8);                     // aspect_ratio_idc: square samples
        w.put(0, 1);                     // overscan_info_present_flag
        w.put(0, 1);                     // video_signal_type_present_flag
        w.put(0, 1);                     // chroma_loc_info_present_flag
        w.put(1, 1);                     // timing_info_present_flag
        w.put(format_.rateDen, 32);      // num_units_in_tick
        w.put(2 * format_.rateNum, 32);  // time_scale: two ticks per frame
        w.put(1, 1);                     // fixed_frame_rate_flag
        w.put(0, 1);                     // nal_hrd_parameters_present_flag
        w.put(0, 1);                     // vcl_hrd_parameters_present_flag
        w.put(0, 1);                     // pic_struct_present_flag
        w.put(0, 1);                     // bitstream_restriction_flag
        w.trailingBits();
        return w.bytes();
    }

    static std::vector<uint8_t> pictureParameterSet() {
        BitWriter w;
        w.ue(0);      // pic_parameter_set_id
        w.ue(0);      // seq_parameter_set_id
        w.put(1, 1);  // entropy_coding_mode_flag: CABAC
        w.put(0, 1);  // bottom_field_pic_order_in_frame_present_flag
        w.ue(0);      // num_slice_groups_minus1
        w.ue(0);      // num_ref_idx_l0_default_active_minus1
        w.ue(0);      // num_ref_idx_l1_default_active_minus1
        w.put(0, 1);  // weighted_pred_flag
        w.put(0, 2);  // weighted_bipred_idc
        w.se(0);      // pic_init_qp_minus26
        w.se(0);      // pic_init_qs_minus26
        w.se(0);      // chroma_qp_index_offset
        w.put(1, 1);  // deblocking_filter_control_present_flag
        w.put(0, 1);  // constrained_intra_pred_flag
        w.put(0, 1);  // redundant_pic_cnt_present_flag
        w.put(1, 1);  // transform_8x8_mode_flag
        w.put(0, 1);  // pic_scaling_matrix_present_flag
        w.se(0);      // second_chroma_qp_index_offset
        w.trailingBits();
        return w.bytes();
    }
};

// MPEG-2 video: sequence header, sequence extension and GOP header at every intra frame;
// picture header, picture coding extension and a slice per frame.
class Mpeg2Builder : public VideoBuilder {
  public:
    using VideoBuilder::VideoBuilder;

  protected:
    void appendHeaders(uint64_t index, std::vector<uint8_t>& out) override {
        if (intra(index)) {
            appendStartCode(out, 0xB3);
            append(out, sequenceHeader());
            appendStartCode(out, 0xB5);
            append(out, sequenceExtension());
            appendStartCode(out, 0xB8);
            append(out, gopHeader(index));
        }
        appendStartCode(out, 0x00);
        append(out, pictureHeader(index));
        appendStartCode(out, 0xB5);
        append(out, pictureCodingExtension());
        appendStartCode(out, 0x01);  // first slice
        out.push_back(0x0A);         // quantiser_scale_code 1, extra_bit_slice 0
    }

  private:
    static void append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
        out.insert(out.end(), bytes.begin(), bytes.end());
    }

    uint32_t frameRateCode() const {
        if (format_.rateDen == 1001) {
            switch (format_.rateNum) {
                case 24000:
                    return 1;
                case 30000:
                    return 4;
                case 60000:
                    return 7;
            }
        } else {
            switch (format_.rateNum) {
                case 24:
                    return 2;
                case 25:
                    return 3;
                case 30:
                    return 5;
                case 50:
                    return 6;
                case 60:
                    return 8;
            }
        }
        throw std::invalid_argument("MPEG-2 frame rate not codable");
    }

    std::vector<uint8_t> sequenceHeader() const {
        BitWriter w;
        w.put(format_.width & 0xFFF, 12);
        w.put(format_.height & 0xFFF, 12);
        w.put(3, 4);  // aspect_ratio_information 16:9
        w.put(frameRateCode(), 4);
        w.put(format_.width > 720 ? 50000 : 20000, 18);  // bit_rate_value, units of 400 bit/s
        w.put(1, 1);                                     // marker
        w.put(format_.width > 720 ? 597 : 112, 10);      // vbv_buffer_size_value
        w.put(0, 1);                                     // constrained_parameters_flag
        w.put(0, 1);                                     // load_intra_quantiser_matrix
        w.put(0, 1);                                     // load_non_intra_quantiser_matrix
        w.align();
        return w.bytes();
    }

    std::vector<uint8_t> sequenceExtension() const {
        BitWriter w;
        w.put(1, 4);                                  // sequence extension
        w.put(format_.width > 720 ? 0x44 : 0x48, 8);  // Main profile, high or main level
        w.put(1, 1);                                  // progressive_sequence
        w.put(1, 2);                                  // chroma_format 4:2:0
        w.put(format_.width >> 12, 2);
        w.put(format_.height >> 12, 2);
        w.put(0, 12);  // bit_rate_extension
        w.put(1, 1);   // marker
        w.put(0, 8);   // vbv_buffer_size_extension
        w.put(0, 1);   // low_delay
        w.put(0, 2);   // frame_rate_extension_n
        w.put(0, 5);   // frame_rate_extension_d
        w.align();
        return w.bytes();
    }

    std::vector<uint8_t> gopHeader(uint64_t index) const {
        uint64_t fps = (format_.rateNum + format_.rateDen - 1) / format_.rateDen;
        uint64_t seconds = index / fps;
        BitWriter w;
        w.put(0, 1);  // drop_frame_flag
        w.put(seconds / 3600 % 24, 5);
        w.put(seconds / 60 % 60, 6);
        w.put(1, 1);  // marker
        w.put(seconds % 60, 6);
        w.put(index % fps, 6);
        w.put(1, 1);  // closed_gop
        w.put(0, 1);  // broken_link
        w.align();
        return w.bytes();
    }

    std::vector<uint8_t> pictureHeader(uint64_t index) const {
        BitWriter w;
        w.put(index % format_.gopLength, 10);  // temporal_reference
        w.put(intra(index) ? 1 : 2, 3);        // picture_coding_type I or P
        w.put(0xFFFF, 16);                     // vbv_delay: variable rate
        if (!intra(index)) {
            w.put(0, 1);  // full_pel_forward_vector
            w.put(7, 3);  // forward_f_code
        }
        w.put(0, 1);  // extra_bit_picture
        w.align();
        return w.bytes();
    }

    static std::vector<uint8_t> pictureCodingExtension() {
        BitWriter w;
        w.put(8, 4);        // picture coding extension
        w.put(0xFFFF, 16);  // f_codes: not used by the intra frames, free for the others
        w.put(0, 2);        // intra_dc_precision
        w.put(3, 2);        // picture_structure: frame
        w.put(0, 1);        // top_field_first
        w.put(1, 1);        // frame_pred_frame_dct
        w.put(0, 1);        // concealment_motion_vectors
        w.put(0, 1);        // q_scale_type
        w.put(0, 1);        // intra_vlc_format
        w.put(0, 1);        // alternate_scan
        w.put(0, 1);        // repeat_first_field
        w.put(1, 1);        // chroma_420_type
        w.put(1, 1);        // progressive_frame
        w.put(0, 1);        // composite_display_flag
        w.align();
        return w.bytes();
    }
};

}  // namespace

std::unique_ptr<AccessUnitBuilder> makeVideo(Codec codec, const VideoFormat& format,
                                             Filler& filler) {
    switch (codec) {
        case Codec::Vc1:
            return std::make_unique<Vc1Builder>(format, filler);
        case Codec::H264:
            return std::make_unique<H264Builder>(format, filler);
        case Codec::Mpeg2:
            return std::make_unique<Mpeg2Builder>(format, filler);
        default:
            throw std::invalid_argument("not a video codec");
    }
}

uint8_t frameStartCode(Codec codec) {
    switch (codec) {
        case Codec::Vc1:
            return 0x0D;
        case Codec::H264:
            return 0x09;
        default:
            return 0x00;
    }
}

bool isVideo(Codec codec) {
    return codec == Codec::Vc1 || codec == Codec::H264 || codec == Codec::Mpeg2;
}

bool isSubpicture(Codec codec) {
    return codec == Codec::Subpicture || codec == Codec::ExtSubpicture;
}

}  // namespace kavrel::mkdisc
