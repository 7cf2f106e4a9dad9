#include "engine/scan_frames.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kavrel {

namespace {

// A start code's 0x01 byte at `at` (2 <= at, at + 1 inside the run): is it the frame start code?
inline bool isFrameStart(const uint8_t* run, std::size_t at, uint8_t code) {
    return run[at + 1] == code && run[at - 1] == 0 && run[at - 2] == 0;
}

// A pair 01 code is rarer still than a 0x01 byte: the vector parts compare both bytes at once
// and look more closely only at a pair found. Each counts the matches whose 0x01 byte lies at
// at … and returns where it stopped (the rest is left to the plain part).
#if defined(__SSE2__)
std::size_t countPairsSse2(const uint8_t* data, std::size_t at, std::size_t last, uint8_t code,
                           int32_t& count) {
    const __m128i ones = _mm_set1_epi8(1);
    const __m128i codes = _mm_set1_epi8(static_cast<char>(code));
    for (; at + 32 <= last + 1; at += 32) {
        const auto* p = reinterpret_cast<const __m128i*>(data + at);
        const auto* q = reinterpret_cast<const __m128i*>(data + at + 1);
        const __m128i low = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(p), ones),
                                          _mm_cmpeq_epi8(_mm_loadu_si128(q), codes));
        const __m128i high = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(p + 1), ones),
                                           _mm_cmpeq_epi8(_mm_loadu_si128(q + 1), codes));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(low)) |
                    static_cast<unsigned>(_mm_movemask_epi8(high)) << 16;
        while (mask) {
            if (isFrameStart(data, at + static_cast<std::size_t>(__builtin_ctz(mask)), code))
                ++count;
            mask &= mask - 1;
        }
    }
    return at;
}
#endif

#if defined(__x86_64__)
// The same 64 bytes at a time, on processors that have AVX2 (chosen when the program runs).
__attribute__((target("avx2"))) std::size_t countPairsAvx2(const uint8_t* data, std::size_t at,
                                                           std::size_t last, uint8_t code,
                                                           int32_t& count) {
    const __m256i ones = _mm256_set1_epi8(1);
    const __m256i codes = _mm256_set1_epi8(static_cast<char>(code));
    for (; at + 64 <= last + 1; at += 64) {
        const auto* p = reinterpret_cast<const __m256i*>(data + at);
        const auto* q = reinterpret_cast<const __m256i*>(data + at + 1);
        const __m256i low = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(p), ones),
                                             _mm256_cmpeq_epi8(_mm256_loadu_si256(q), codes));
        const __m256i high = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(p + 1), ones),
                                              _mm256_cmpeq_epi8(_mm256_loadu_si256(q + 1), codes));
        auto mask = uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(low))} |
                    uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(high))} << 32;
        while (mask) {
            if (isFrameStart(data, at + static_cast<std::size_t>(__builtin_ctzll(mask)), code))
                ++count;
            mask &= mask - 1;
        }
    }
    return at;
}

const bool kHaveAvx2 = __builtin_cpu_supports("avx2");
#endif

// The start codes whose code byte lies at index 3 or later: those that lie whole in the run.
int32_t countWhole(const uint8_t* data, std::size_t size, uint8_t code) {
    if (size < 4) return 0;
    // Every match has its 0x01 byte one before the code byte, at 2 … size - 2.
    const std::size_t last = size - 2;
    int32_t count = 0;
    std::size_t at = 2;
#if defined(__x86_64__)
    if (kHaveAvx2) at = countPairsAvx2(data, at, last, code, count);
#endif
#if defined(__SSE2__)
    at = countPairsSse2(data, at, last, code, count);
#endif
    while (at <= last) {
        const void* hit = std::memchr(data + at, 0x01, last + 1 - at);
        if (!hit) break;
        at = static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - data);
        if (isFrameStart(data, at, code)) ++count;
        ++at;
    }
    return count;
}

}  // namespace

uint8_t frameStartCode(VideoKind kind) {
    switch (kind) {
        case VideoKind::Mpeg2:
            return 0x00;
        case VideoKind::H264:
            return 0x09;
        case VideoKind::Vc1:
            return 0x0D;
    }
    return 0x00;
}

int32_t countFrameStarts(std::span<const uint8_t> run, VideoKind kind, uint32_t& startRegister) {
    const uint8_t code = frameStartCode(kind);
    const uint32_t wanted = 0x00000100u | code;
    const uint8_t* const data = run.data();
    const std::size_t size = run.size();
    // The first three bytes complete the start codes that began in the bytes before the run.
    int32_t count = 0;
    uint32_t reg = startRegister;
    for (std::size_t i = 0; i < size && i < 3; ++i) {
        reg = reg << 8 | data[i];
        if (reg == wanted) ++count;
    }
    if (size >= 4) {
        count += countWhole(data, size, code);
        reg = uint32_t{data[size - 4]} << 24 | uint32_t{data[size - 3]} << 16 |
              uint32_t{data[size - 2]} << 8 | data[size - 1];
    }
    startRegister = reg;
    return count;
}

}  // namespace kavrel
