#pragma once
// Builders of the coded access units of every stream kind the sample disc carries. Each
// builder appends access unit number `index` (a video frame, an audio frame or a subpicture
// unit) to a byte vector; the multiplexer decides how they are packed.
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/mkdisc/filler.h"

namespace kavrel::mkdisc {

enum class Codec { Vc1, H264, Mpeg2, Ac3, Eac3, Dts, Lpcm, TrueHd, Mlp, Subpicture, ExtSubpicture };

class AccessUnitBuilder {
  public:
    virtual ~AccessUnitBuilder() = default;
    virtual void build(uint64_t index, std::vector<uint8_t>& out) = 0;
};

struct VideoFormat {
    uint32_t width = 1920;
    uint32_t height = 1080;
    uint32_t rateNum = 24000;  // frames per second as a fraction
    uint32_t rateDen = 1001;
    uint32_t gopLength = 12;      // frames from one intra frame to the next
    uint32_t intraBytes = 30000;  // typical coded sizes; each frame varies around them
    uint32_t interBytes = 11000;
};

struct AudioFormat {
    uint32_t channels = 2;
    bool lfe = false;
    uint32_t frameBytes = 0;   // coded size of one frame (AC-3, E-AC-3, DTS)
    uint32_t ac3SizeCode = 0;  // AC-3 frmsizecod matching frameBytes at 48 kHz
};

// Video: VC-1 advanced profile, H.264 High profile or MPEG-2 Main profile frames with their
// sequence-level headers at the start of every group of pictures.
std::unique_ptr<AccessUnitBuilder> makeVideo(Codec codec, const VideoFormat& format,
                                             Filler& filler);

// Audio frames at 48 kHz. AC-3, E-AC-3 and DTS frames carry real sync information and
// headers; LPCM is a sine tone; TrueHD and MLP access units carry a major sync every 16 units.
std::unique_ptr<AccessUnitBuilder> makeAudio(Codec codec, const AudioFormat& format,
                                             Filler& filler);

// Samples of one audio frame (AC-3 1536, DTS 512, LPCM 80, TrueHD/MLP 40).
uint32_t samplesPerFrame(Codec codec);

// Subpicture units: DVD units begin with a 16-bit unit size, HD DVD (extended) units with two
// zero bytes and a 32-bit unit size. Both span several PES packets.
std::unique_ptr<AccessUnitBuilder> makeSubpicture(Codec codec, Filler& filler);

// The start code whose count gives the frame count of a video stream.
uint8_t frameStartCode(Codec codec);

bool isVideo(Codec codec);
bool isSubpicture(Codec codec);

}  // namespace kavrel::mkdisc
