#pragma once
// Bit-level writer for the stream headers (most significant bit first), with the Exp-Golomb
// codes of H.264 and the start-code emulation prevention shared by H.264 and VC-1.
#include <cstdint>
#include <vector>

namespace kavrel::mkdisc {

class BitWriter {
  public:
    void put(uint64_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) putBit(static_cast<unsigned>((value >> i) & 1));
    }
    void putBit(unsigned bit) {
        current_ = static_cast<uint8_t>((current_ << 1) | (bit & 1));
        if (++used_ == 8) {
            bytes_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    // Unsigned and signed Exp-Golomb codes.
    void ue(uint32_t value) {
        uint64_t coded = uint64_t{value} + 1;
        int bits = 0;
        while ((coded >> bits) > 1) ++bits;
        put(0, bits);
        put(coded, bits + 1);
    }
    void se(int32_t value) {
        ue(value <= 0 ? static_cast<uint32_t>(-2 * int64_t{value})
                      : static_cast<uint32_t>(2 * int64_t{value} - 1));
    }
    // A stop bit followed by zero bits up to the byte boundary.
    void trailingBits() {
        putBit(1);
        while (used_ != 0) putBit(0);
    }
    // Zero bits up to the byte boundary.
    void align() {
        while (used_ != 0) putBit(0);
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
    uint8_t current_ = 0;
    int used_ = 0;
};

// Inserts 0x03 after every two zero bytes that precede a byte of 0x03 or less, so that a
// header body can never be read as a start code.
inline void appendEscaped(std::vector<uint8_t>& out, const std::vector<uint8_t>& body) {
    int zeros = 0;
    for (uint8_t b : body) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
}

inline void appendStartCode(std::vector<uint8_t>& out, uint8_t code) {
    out.insert(out.end(), {0x00, 0x00, 0x01, code});
}

}  // namespace kavrel::mkdisc
