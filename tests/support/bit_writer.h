#pragma once
// Writes big-endian bit fields, for building codec headers field by field in the tests,
// independently of the analysers' own reader.
#include <cstdint>
#include <vector>

namespace kavrel::test {

class BitWriter {
  public:
    // The low `count` bits of value, most significant first.
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (bit_ == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> bit_);
            bit_ = (bit_ + 1) & 7;
        }
    }
    // An unsigned Exp-Golomb code (H.264 ue(v)).
    void ue(uint32_t value) {
        const uint64_t code = uint64_t{value} + 1;
        int length = 0;
        while ((code >> length) > 1) ++length;
        put(0, length);
        put(static_cast<uint32_t>(code), length + 1);
    }
    // The rbsp stop bit and alignment.
    void trailing() {
        put(1, 1);
        while (bit_ != 0) put(0, 1);
    }
    std::vector<uint8_t> bytes;

  private:
    int bit_ = 0;
};

}  // namespace kavrel::test
