#pragma once
// Builders of the coded access units of every stream kind the sample disc carries. Each
// builder appends access unit number `index` (a video frame, an audio frame or a subpicture
// unit) to a byte vector; the multiplexer decides how they are packed.
#include <array>
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

// An LPCM stream. DVD-Video and HD DVD carry one group of channels; DVD-Audio one or two,
// each with its own depth and rate (group 2's rate divides group 1's), and a channel assignment
// that names their speakers.
struct LpcmFormat {
    std::array<int, 2> bits{16, 0};  // 16, 20 or 24 per group; group 2: 0 when absent
    std::array<uint32_t, 2> sampleRate{48000, 0};
    std::array<int, 2> channels{2, 0};
    int assignment = -1;  // DVD-Audio channel assignment (0-20); -1: DVD-Video or HD DVD

    bool dvdAudio() const { return assignment >= 0; }
    // The rate that access units are counted in: group 2's when there is one.
    uint32_t unitRate() const { return channels[1] ? sampleRate[1] : sampleRate[0]; }
};

// The sample (signed, `bits` wide) that the generator's LPCM streams carry for a channel at a
// frame: a tone of its own per channel that uses every bit of the depth, so a converter that
// drops or misplaces low bits or channels shows.
int32_t lpcmSample(int channel, uint64_t frame, int bits);

// Appends 2 sample frames of `channels` samples (frame 0's, then frame 1's) as one LPCM group:
// 16-bit samples big-endian; 20- and 24-bit samples in runs of `run` samples, each run the
// high 16-bit words of its samples first, then their low bits (a byte per sample for 24 bits, a
// byte per two samples for 20, the earlier sample in the high nibble). A DVD-Audio group is
// one run; DVD-Video and HD DVD LPCM of an even channel count has runs of 4 samples.
void appendLpcmGroup(std::vector<uint8_t>& out, const int32_t* samples, int bits, int channels,
                     int run);

// LPCM access units of 80 frames at the unit rate: for DVD-Audio, blocks of group 2's 2 frames
// followed by group 1's frames of the same time.
std::unique_ptr<AccessUnitBuilder> makeLpcm(const LpcmFormat& format);

// Video: VC-1 advanced profile, H.264 High profile or MPEG-2 Main profile frames with their
// sequence-level headers at the start of every group of pictures.
std::unique_ptr<AccessUnitBuilder> makeVideo(Codec codec, const VideoFormat& format,
                                             Filler& filler);

// Audio frames at 48 kHz. AC-3, E-AC-3 and DTS frames carry real sync information and
// headers; LPCM is 16-bit stereo (makeLpcm makes the others); TrueHD and MLP access units carry a
// major sync every 16 units.
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
