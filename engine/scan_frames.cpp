#include "engine/scan_frames.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kavrel {

namespace {

// A start code's 0x01 byte at `at` (2 <= at, at + 1 inside the run): is it the frame start code?
inline bool isFrameStart(const uint8_t* run, std::size_t at, uint8_t code) {
    return run[at + 1] == code && run[at - 1] == 0 && run[at - 2] == 0;
}

// The start codes whose code byte lies at index 3 or later: those that lie whole in the run.
int32_t countWhole(const uint8_t* data, std::size_t size, uint8_t code) {
    if (size < 4) return 0;
    // Every match has its 0x01 byte one before the code byte, at 2 … size - 2.
    const std::size_t last = size - 2;
    int32_t count = 0;
    std::size_t at = 2;
#if defined(__SSE2__)
    // A pair 01 code is rarer still: both bytes are compared at once, and only a pair found
    // is looked at more closely.
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
