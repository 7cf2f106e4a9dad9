#include "formats/lpcm_samples.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <utility>
#define KAVREL_SSSE3_SHUFFLE 1
#endif

namespace kavrel::formats {

namespace {

#ifdef KAVREL_SSSE3_SHUFFLE
// Each unit by 16-byte shuffles (SSSE3): a few instructions per 16 bytes in place of one load
// and store per byte. A unit loads 16 * Sources bytes from its start and stores 16 * Outs bytes
// from its output's start; the bytes it stores past its own output are the next unit's, which
// overwrites them. The caller keeps both reaches inside the buffers. The chunk counts are
// template arguments so that the loops unroll and the masks stay in registers.
template <std::size_t Sources, std::size_t Outs>
__attribute__((target("ssse3"))) void shuffleUnits(const uint8_t* units, std::size_t count,
                                                   std::size_t unitBytes, uint8_t* out,
                                                   std::size_t outBytes,
                                                   const std::array<uint8_t, 16>* masks) {
    __m128i mask[Outs][Sources];
    for (std::size_t k = 0; k < Outs; ++k)
        for (std::size_t j = 0; j < Sources; ++j)
            mask[k][j] =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(masks[k * Sources + j].data()));
    for (std::size_t u = 0; u < count; ++u, units += unitBytes, out += outBytes) {
        __m128i source[Sources];
        for (std::size_t j = 0; j < Sources; ++j)
            source[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 16 * j));
        for (std::size_t k = 0; k < Outs; ++k) {
            __m128i chunk = _mm_shuffle_epi8(source[0], mask[k][0]);
            for (std::size_t j = 1; j < Sources; ++j)
                chunk = _mm_or_si128(chunk, _mm_shuffle_epi8(source[j], mask[k][j]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), chunk);
        }
    }
}

using ShuffleUnits = void (*)(const uint8_t*, std::size_t, std::size_t, uint8_t*, std::size_t,
                              const std::array<uint8_t, 16>*);

template <std::size_t... I>
constexpr std::array<ShuffleUnits, 16> shuffleTable(std::index_sequence<I...>) {
    return {&shuffleUnits<I / 4 + 1, I % 4 + 1>...};
}
// By (source chunks - 1) * 4 + (output chunks - 1).
constexpr std::array<ShuffleUnits, 16> kShuffleUnits = shuffleTable(std::make_index_sequence<16>());

bool haveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

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
    makeMasks();
}

void ByteShuffle::makeMasks() {
    masks_.clear();
    sourceChunks_ = outChunks_ = 0;
    const std::size_t n = from_.size();
    const uint32_t last = n ? *std::max_element(from_.begin(), from_.end()) : 0;
    if (n == 0 || n > 64 || last >= 64) return;
    sourceChunks_ = last / 16 + 1;
    outChunks_ = (n + 15) / 16;
    masks_.resize(outChunks_ * sourceChunks_);
    for (std::size_t k = 0; k < outChunks_; ++k) {
        for (std::size_t j = 0; j < sourceChunks_; ++j) {
            std::array<uint8_t, 16>& mask = masks_[k * sourceChunks_ + j];
            mask.fill(0x80);  // a zero byte, left for another source chunk to fill
            for (std::size_t b = 0; b < 16 && 16 * k + b < n; ++b) {
                const uint32_t from = from_[16 * k + b];
                if (from / 16 == j) mask[b] = static_cast<uint8_t>(from % 16);
            }
        }
    }
}

void ByteShuffle::apply(const uint8_t* units, std::size_t count, std::size_t unitBytes,
                        uint8_t* out) const {
    const uint32_t* from = from_.data();
    const std::size_t n = from_.size();
    std::size_t u = 0;
#ifdef KAVREL_SSSE3_SHUFFLE
    if (!masks_.empty() && haveSsse3()) {
        // The units whose loads and stores stay inside the buffers; the last ones go byte by
        // byte below.
        const std::size_t loads = 16 * sourceChunks_, stores = 16 * outChunks_;
        std::size_t fast = count;
        while (fast > 0 && ((fast - 1) * unitBytes + loads > count * unitBytes ||
                            (fast - 1) * n + stores > count * n))
            --fast;
        kShuffleUnits[(sourceChunks_ - 1) * 4 + outChunks_ - 1](units, fast, unitBytes, out, n,
                                                                masks_.data());
        u = fast;
        units += fast * unitBytes;
        out += fast * n;
    }
#endif
    for (; u < count; ++u, units += unitBytes, out += n)
        for (std::size_t i = 0; i < n; ++i) out[i] = units[from[i]];
}

}  // namespace kavrel::formats
