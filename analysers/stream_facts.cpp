#include "analysers/stream_facts.h"

#include <numeric>

namespace kavrel::analysers {

std::string reducedRatio(uint64_t width, uint64_t height) {
    if (width == 0 || height == 0) return {};
    const uint64_t divisor = std::gcd(width, height);
    return std::to_string(width / divisor) + ":" + std::to_string(height / divisor);
}

}  // namespace kavrel::analysers
