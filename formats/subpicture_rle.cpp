#include "formats/subpicture_rle.h"

#include <algorithm>
#include <cstring>

namespace kavrel::formats {

namespace {

// Most significant bit first; a read past the end gives false and leaves the value at zero.
class FieldBits {
  public:
    explicit FieldBits(std::span<const uint8_t> data) : data_(data) {}

    bool read(int count, uint32_t& value) {
        value = 0;
        if (position_ + static_cast<uint64_t>(count) > data_.size() * uint64_t{8}) return false;
        for (int i = 0; i < count; ++i, ++position_) {
            const uint8_t byte = data_[position_ >> 3];
            value = value << 1 | ((byte >> (7 - (position_ & 7))) & 1u);
        }
        return true;
    }
    // To the next multiple of `unit` bits.
    void align(int unit) {
        const uint64_t u = static_cast<uint64_t>(unit);
        position_ = (position_ + u - 1) / u * u;
    }

  private:
    std::span<const uint8_t> data_;
    uint64_t position_ = 0;
};

// Fills `length` pixels (0: the rest of the line) and returns the pixels still left in it.
uint32_t fill(uint8_t* line, uint32_t at, uint32_t width, uint32_t length, uint8_t colour) {
    const uint32_t left = width - at;
    const uint32_t n = length == 0 ? left : std::min(length, left);
    std::memset(line + at, colour, n);
    return at + n;
}

}  // namespace

bool decodeHdField(std::span<const uint8_t> data, Bitmap& bitmap, int first) {
    FieldBits bits(data);
    const uint32_t width = bitmap.width;
    for (uint32_t row = static_cast<uint32_t>(first); row < bitmap.height; row += 2) {
        uint8_t* line = bitmap.pixels.data() + std::size_t{row} * width;
        uint32_t at = 0;
        while (at < width) {
            uint32_t run, wide, colour;
            if (!bits.read(1, run) || !bits.read(1, wide) || !bits.read(wide ? 8 : 2, colour))
                return false;
            uint32_t length = 1;
            if (run) {
                uint32_t isLong, value;
                if (!bits.read(1, isLong) || !bits.read(isLong ? 7 : 3, value)) return false;
                length = isLong ? (value == 0 ? 0 : value + 9) : value + 2;
            }
            at = fill(line, at, width, length, static_cast<uint8_t>(colour));
        }
        bits.align(8);
    }
    return true;
}

bool decodeDvdField(std::span<const uint8_t> data, Bitmap& bitmap, int first) {
    FieldBits bits(data);
    const uint32_t width = bitmap.width;
    for (uint32_t row = static_cast<uint32_t>(first); row < bitmap.height; row += 2) {
        uint8_t* line = bitmap.pixels.data() + std::size_t{row} * width;
        uint32_t at = 0;
        while (at < width) {
            // Each leading pair of zero bits adds a nibble: 1–4 nibbles in all.
            uint32_t code = 0, nibble;
            for (uint32_t limit : {0x4u, 0x10u, 0x40u, 0x100u}) {
                if (!bits.read(4, nibble)) return false;
                code = code << 4 | nibble;
                if (code >= limit) break;
            }
            at = fill(line, at, width, code >> 2, static_cast<uint8_t>(code & 3));
        }
        bits.align(8);
    }
    return true;
}

}  // namespace kavrel::formats
