#include "engine/scan_frames.h"

#include <cstring>

namespace kavrel {

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

int32_t countFrameStarts(std::span<const uint8_t> run, VideoKind kind) {
    const uint8_t code = frameStartCode(kind);
    const uint8_t* const begin = run.data();
    const std::size_t size = run.size();
    int32_t count = 0;
    // Every match has its 0x01 byte one before the code byte; memchr finds the 0x01 bytes far
    // faster than a byte loop, and the two bytes before each are checked by hand. Bytes before
    // the run count as zero, as in a register that starts at 0.
    std::size_t from = 0;
    while (from + 1 < size) {
        const void* hit = std::memchr(begin + from, 0x01, size - 1 - from);
        if (!hit) break;
        const std::size_t at = static_cast<std::size_t>(static_cast<const uint8_t*>(hit) - begin);
        if (begin[at + 1] == code && (at < 1 || begin[at - 1] == 0) &&
            (at < 2 || begin[at - 2] == 0))
            ++count;
        from = at + 1;
    }
    return count;
}

}  // namespace kavrel
