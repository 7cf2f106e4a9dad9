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
    // The 32 bits from the position on, zeros past the end: a whole HD DVD code (at most 18
    // bits) is taken apart from one look instead of bit by bit.
    uint32_t peek32() const {
        const std::size_t at = static_cast<std::size_t>(position_ >> 3);
        uint64_t window = 0;
        if (at + 5 <= data_.size()) {
            for (std::size_t i = 0; i < 5; ++i) window = window << 8 | data_[at + i];
        } else {
            for (std::size_t i = 0; i < 5; ++i)
                window = window << 8 | (at + i < data_.size() ? data_[at + i] : 0u);
        }
        return static_cast<uint32_t>(window >> (8 - (position_ & 7)));
    }
    // Moves past count bits; false when fewer are left.
    bool skip(uint64_t count) {
        if (position_ + count > data_.size() * uint64_t{8}) return false;
        position_ += count;
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

// Walks the rows of one field (every second row from `first`), each a run of codes that
// decodeRow turns into pixels until the row is full; a row ends on a byte boundary.
template <typename DecodeRow>
bool decodeField(std::span<const uint8_t> data, Bitmap& bitmap, int first, DecodeRow decodeRow) {
    FieldBits bits(data);
    for (uint32_t row = static_cast<uint32_t>(first); row < bitmap.height; row += 2) {
        if (!decodeRow(bits, bitmap.pixels.data() + std::size_t{row} * bitmap.width, bitmap.width))
            return false;
        bits.align(8);
    }
    return true;
}

}  // namespace

bool decodeHdField(std::span<const uint8_t> data, Bitmap& bitmap, int first) {
    return decodeField(data, bitmap, first, [](FieldBits& bits, uint8_t* line, uint32_t width) {
        uint32_t at = 0;
        while (at < width) {
            // run (1), 8-bit (1), colour (8 or 2); for a run: long (1), length (7 or 3).
            const uint32_t code = bits.peek32();
            const bool run = code >> 31, wide = code >> 30 & 1;
            const uint32_t colour = wide ? code >> 22 & 0xFF : code >> 28 & 3;
            uint32_t used = wide ? 10 : 4, length = 1;
            if (run) {
                const uint32_t rest = code << used;  // long flag and length, at the top
                const bool isLong = rest >> 31;
                const uint32_t value = isLong ? rest >> 24 & 0x7F : rest >> 28 & 7;
                length = isLong ? (value == 0 ? 0 : value + 9) : value + 2;
                used += isLong ? 8 : 4;
            }
            if (!bits.skip(used)) return false;
            if (length == 1)
                line[at++] = static_cast<uint8_t>(colour);  // most codes of a detailed picture
            else
                at = fill(line, at, width, length, static_cast<uint8_t>(colour));
        }
        return true;
    });
}

bool decodeDvdField(std::span<const uint8_t> data, Bitmap& bitmap, int first) {
    return decodeField(data, bitmap, first, [](FieldBits& bits, uint8_t* line, uint32_t width) {
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
        return true;
    });
}

}  // namespace kavrel::formats
