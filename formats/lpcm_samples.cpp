#include "formats/lpcm_samples.h"

namespace kavrel::formats {

void lpcmGroupToWav(const uint8_t* group, int bits, int channels, std::size_t run,
                    const uint8_t* slots, std::size_t frameStride, uint8_t* out) {
    const std::size_t samples = 2 * static_cast<std::size_t>(channels);
    const std::size_t sampleBytes = wavSampleBytes(bits);
    for (std::size_t first = 0; first < samples; first += run) {
        const std::size_t count = std::min(run, samples - first);
        const uint8_t* low = group + 2 * count;  // the low bits follow the run's high words
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t i = first + j;
            const std::size_t channel = i % static_cast<std::size_t>(channels);
            const std::size_t frame = i / static_cast<std::size_t>(channels);
            uint8_t* sample = out + frame * frameStride + slots[channel] * sampleBytes;
            const uint8_t high = group[2 * j];
            const uint8_t middle = group[2 * j + 1];
            if (bits == 16) {
                sample[0] = middle;
                sample[1] = high;
                continue;
            }
            if (bits == 24)
                sample[0] = low[j];
            else  // 20 bits, left-justified in the 24-bit container
                sample[0] = static_cast<uint8_t>(j % 2 == 0 ? low[j / 2] & 0xF0 : low[j / 2] << 4);
            sample[1] = middle;
            sample[2] = high;
        }
        group += 2 * count + (bits == 24 ? count : bits == 20 ? count / 2 : 0);
    }
}

}  // namespace kavrel::formats
