#include "tools/mkdisc/filler.h"

#include <algorithm>

namespace kavrel::mkdisc {

namespace {
constexpr std::size_t kBlockSize = 1 << 16;
}

Filler::Filler(uint32_t seed) : engine_(seed), block_(kBlockSize) {
    for (auto& b : block_) b = static_cast<uint8_t>(engine_() % 255 + 1);
}

uint32_t Filler::between(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(engine_() % (uint64_t{high} - low + 1));
}

void Filler::appendNonZero(std::vector<uint8_t>& out, std::size_t n) {
    // Start each run at a drawn position so that runs differ from one another.
    cursor_ = (cursor_ + engine_()) % kBlockSize;
    while (n > 0) {
        std::size_t take = std::min(n, kBlockSize - cursor_);
        out.insert(out.end(), block_.begin() + static_cast<std::ptrdiff_t>(cursor_),
                   block_.begin() + static_cast<std::ptrdiff_t>(cursor_ + take));
        n -= take;
        cursor_ = (cursor_ + take) % kBlockSize;
    }
}

void Filler::pass(std::size_t n) {
    cursor_ = (cursor_ + engine_()) % kBlockSize;
    cursor_ = (cursor_ + n) % kBlockSize;
}

}  // namespace kavrel::mkdisc
