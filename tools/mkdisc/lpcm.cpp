// LPCM sample data in the group layout of DVD-Video, HD DVD and DVD-Audio.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "tools/mkdisc/elementary.h"

namespace kavrel::mkdisc {

namespace {

constexpr uint64_t kFramesPerUnit = 80;

class LpcmBuilder : public AccessUnitBuilder {
  public:
    explicit LpcmBuilder(const LpcmFormat& format)
        : format_(format), dvdAudio_(format.dvdAudio()) {}

    void build(uint64_t index, std::vector<uint8_t>& out) override {
        const int channels1 = format_.channels[0];
        const int channels2 = format_.channels[1];
        const uint64_t pairs1 = channels2 ? format_.sampleRate[0] / format_.sampleRate[1] : 1;
        for (uint64_t pair = index * kFramesPerUnit / 2; pair < (index + 1) * kFramesPerUnit / 2;
             ++pair) {
            if (channels2) appendGroup(out, channels1, channels2, format_.bits[1], 2 * pair);
            for (uint64_t p = 0; p < pairs1; ++p)
                appendGroup(out, 0, channels1, format_.bits[0], 2 * (pair * pairs1 + p));
        }
    }

  private:
    // Channels first .. first + count - 1 of frames `frame` and `frame + 1`.
    void appendGroup(std::vector<uint8_t>& out, int first, int count, int bits,
                     uint64_t frame) const {
        int32_t samples[16];
        for (int f = 0; f < 2; ++f)
            for (int c = 0; c < count; ++c)
                samples[f * count + c] =
                    lpcmSample(first + c, frame + static_cast<uint64_t>(f), bits);
        // DVD-Audio groups are one run; DVD-Video and HD DVD pairs of channels runs of 4.
        const int run = dvdAudio_ || count % 2 ? 2 * count : 4;
        appendLpcmGroup(out, samples, bits, count, run);
    }

    LpcmFormat format_;
    bool dvdAudio_;
};

}  // namespace

int32_t lpcmSample(int channel, uint64_t frame, int bits) {
    // Periods of 97, 113, 129 … frames, so no two channels are alike.
    const double period = 97.0 + 16.0 * channel;
    const double phase = 2 * std::numbers::pi * static_cast<double>(frame % 100000) / period;
    const double amplitude = 0.7 * static_cast<double>(1 << (bits - 1));
    return static_cast<int32_t>(std::lround(amplitude * std::sin(phase)));
}

void appendLpcmGroup(std::vector<uint8_t>& out, const int32_t* samples, int bits, int channels,
                     int run) {
    const int n = 2 * channels;
    const int shift = bits - 16;  // the high word is the top 16 bits
    for (int first = 0; first < n; first += run) {
        const int end = std::min(first + run, n);
        for (int i = first; i < end; ++i) {
            const auto high = static_cast<uint32_t>(samples[i] >> shift);
            out.push_back(static_cast<uint8_t>(high >> 8));
            out.push_back(static_cast<uint8_t>(high));
        }
        if (bits == 24) {
            for (int i = first; i < end; ++i) out.push_back(static_cast<uint8_t>(samples[i]));
        } else if (bits == 20) {
            for (int i = first; i < end; i += 2)
                out.push_back(
                    static_cast<uint8_t>((samples[i] & 0x0F) << 4 | (samples[i + 1] & 0x0F)));
        }
    }
}

std::unique_ptr<AccessUnitBuilder> makeLpcm(const LpcmFormat& format) {
    return std::make_unique<LpcmBuilder>(format);
}

}  // namespace kavrel::mkdisc
