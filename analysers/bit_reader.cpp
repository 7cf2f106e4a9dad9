#include "analysers/bit_reader.h"

namespace kavrel::analysers {

uint32_t BitReader::bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const uint64_t byte = position_ >> 3;
        uint32_t bit = 0;
        if (byte < bytes_.size()) {
            bit = (bytes_[byte] >> (7 - (position_ & 7))) & 1u;
        } else {
            exhausted_ = true;
        }
        value = (value << 1) | bit;
        ++position_;
    }
    return value;
}

void BitReader::skip(uint64_t count) {
    position_ += count;
    if (position_ > uint64_t{bytes_.size()} * 8) exhausted_ = true;
}

uint32_t BitReader::ue() {
    int zeros = 0;
    while (!flag()) {
        if (exhausted_ || ++zeros > 31) {
            exhausted_ = true;
            return 0;
        }
    }
    if (zeros == 0) return 0;
    return ((1u << zeros) - 1) + bits(zeros);
}

int32_t BitReader::se() {
    const uint32_t code = ue();
    const auto magnitude = static_cast<int32_t>((code >> 1) + (code & 1));
    return (code & 1) ? magnitude : -magnitude;
}

std::vector<uint8_t> removeEmulationPrevention(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size());
    int zeros = 0;
    for (const uint8_t b : bytes) {
        if (zeros >= 2 && b == 0x03) {
            zeros = 0;
            continue;
        }
        zeros = (b == 0) ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

std::size_t nextStartCode(std::span<const uint8_t> bytes, std::size_t from) {
    for (std::size_t i = from; i + 2 < bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) return i + 3;
    }
    return bytes.size();
}

}  // namespace kavrel::analysers
