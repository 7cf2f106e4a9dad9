#pragma once
// Reads big-endian bit fields from a byte span, as the video syntaxes are written. Reading past
// the end yields zero bits and marks the reader exhausted, so a parser can read a whole header
// and check once at the end whether it was cut short.
#include <cstdint>
#include <span>
#include <vector>

namespace kavrel::analysers {

class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // Up to 32 bits, most significant first.
    uint32_t bits(int count);
    bool flag() { return bits(1) != 0; }
    void skip(uint64_t count);
    // Exp-Golomb codes of H.264; a code longer than 32 bits marks the reader exhausted.
    uint32_t ue();
    int32_t se();

    bool exhausted() const { return exhausted_; }
    uint64_t position() const { return position_; }

  private:
    std::span<const uint8_t> bytes_;
    uint64_t position_ = 0;  // in bits
    bool exhausted_ = false;
};

// The payload of a NAL unit or VC-1 start code unit with its emulation-prevention bytes removed
// (every 0x03 that follows two zero bytes).
std::vector<uint8_t> removeEmulationPrevention(std::span<const uint8_t> bytes);

// The offset of the first byte after the next start code prefix 00 00 01 at or after `from`,
// or bytes.size() when there is none.
std::size_t nextStartCode(std::span<const uint8_t> bytes, std::size_t from);

}  // namespace kavrel::analysers
