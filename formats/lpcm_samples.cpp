#include "formats/lpcm_samples.h"

namespace kavrel::formats {

namespace {

// The loop of lpcmGroupsToWav for one depth, so that the depth's tests leave the inner loop.
template <int Bits>
void groupToWav(const uint8_t* group, std::size_t channels, std::size_t run, const uint8_t* slots,
                std::size_t frameStride, uint8_t* out) {
    constexpr std::size_t kSampleBytes = Bits > 16 ? 3 : 2;
    constexpr std::size_t kLowBytesPer4 = Bits == 24 ? 4 : Bits == 20 ? 2 : 0;
    const std::size_t samples = 2 * channels;
    std::size_t channel = 0;
    uint8_t* frame = out;
    for (std::size_t first = 0; first < samples; first += run) {
        const std::size_t count = std::min(run, samples - first);
        const uint8_t* low = group + 2 * count;  // the low bits follow the run's high words
        for (std::size_t j = 0; j < count; ++j) {
            uint8_t* sample = frame + slots[channel] * kSampleBytes;
            if constexpr (Bits == 16) {
                sample[0] = group[2 * j + 1];
                sample[1] = group[2 * j];
            } else {
                if constexpr (Bits == 24)
                    sample[0] = low[j];
                else  // left-justified in the 24-bit container
                    sample[0] =
                        static_cast<uint8_t>(j % 2 == 0 ? low[j / 2] & 0xF0 : low[j / 2] << 4);
                sample[1] = group[2 * j + 1];
                sample[2] = group[2 * j];
            }
            if (++channel == channels) {
                channel = 0;
                frame += frameStride;
            }
        }
        group += 2 * count + count * kLowBytesPer4 / 4;
    }
}

template <int Bits>
void groupsToWav(const uint8_t* groups, std::size_t count, std::size_t channels, std::size_t run,
                 const uint8_t* slots, std::size_t frameStride, uint8_t* out) {
    const std::size_t groupBytes = lpcmGroupBytes(Bits, static_cast<int>(channels));
    for (std::size_t g = 0; g < count; ++g)
        groupToWav<Bits>(groups + g * groupBytes, channels, run, slots, frameStride,
                         out + g * 2 * frameStride);
}

}  // namespace

void lpcmGroupsToWav(const uint8_t* groups, std::size_t count, int bits, int channels,
                     std::size_t run, const uint8_t* slots, std::size_t frameStride, uint8_t* out) {
    const auto n = static_cast<std::size_t>(channels);
    if (bits == 24)
        groupsToWav<24>(groups, count, n, run, slots, frameStride, out);
    else if (bits == 20)
        groupsToWav<20>(groups, count, n, run, slots, frameStride, out);
    else
        groupsToWav<16>(groups, count, n, run, slots, frameStride, out);
}

void ByteShuffle::addGroups(std::size_t unitOffset, std::size_t count, int bits, int channels,
                            std::size_t run, const uint8_t* slots, std::size_t frameStride,
                            std::size_t outOffset) {
    const auto n = static_cast<std::size_t>(channels);
    const std::size_t samples = 2 * n;
    const std::size_t sampleBytes = wavSampleBytes(bits);
    const std::size_t groupBytes = lpcmGroupBytes(bits, channels);
    for (std::size_t g = 0; g < count; ++g) {
        std::size_t in = unitOffset + g * groupBytes;  // the run's first high word
        std::size_t channel = 0;
        std::size_t frame = outOffset + g * 2 * frameStride;
        for (std::size_t first = 0; first < samples; first += run) {
            const std::size_t size = std::min(run, samples - first);
            for (std::size_t j = 0; j < size; ++j) {
                const std::size_t at = frame + slots[channel] * sampleBytes;
                if (from_.size() < at + sampleBytes) from_.resize(at + sampleBytes);
                if (bits == 16) {
                    from_[at] = static_cast<uint32_t>(in + 2 * j + 1);
                    from_[at + 1] = static_cast<uint32_t>(in + 2 * j);
                } else {
                    from_[at] = static_cast<uint32_t>(in + 2 * size + j);  // the low byte
                    from_[at + 1] = static_cast<uint32_t>(in + 2 * j + 1);
                    from_[at + 2] = static_cast<uint32_t>(in + 2 * j);
                }
                if (++channel == n) {
                    channel = 0;
                    frame += frameStride;
                }
            }
            in += size * (bits == 24 ? 3 : 2);
        }
    }
}

void ByteShuffle::apply(const uint8_t* units, std::size_t count, std::size_t unitBytes,
                        uint8_t* out) const {
    const uint32_t* from = from_.data();
    const std::size_t n = from_.size();
    for (std::size_t u = 0; u < count; ++u, units += unitBytes, out += n)
        for (std::size_t i = 0; i < n; ++i) out[i] = units[from[i]];
}

}  // namespace kavrel::formats
