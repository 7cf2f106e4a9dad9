#include "formats/pgs_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace kavrel::formats {

namespace {

enum SegmentType : uint8_t {
    kPalette = 0x14,
    kObject = 0x15,
    kComposition = 0x16,
    kWindow = 0x17,
    kEnd = 0x80,
};

constexpr std::size_t kMaxSegmentBody = 65535;
constexpr uint32_t kLongestRun = 16383;  // 14 bits of length

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void put24(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 16));
    put16(out, v);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v);
}

// The length of the run of line[0]'s colour, at most limit pixels. Long runs (the transparent
// space around the text) are compared eight pixels at a time.
uint32_t runLength(const uint8_t* line, uint32_t limit) {
    const uint8_t colour = line[0];
    const uint64_t pattern = 0x0101010101010101ull * colour;
    uint32_t length = 1;
    for (; length + 8 <= limit; length += 8) {
        uint64_t word;
        std::memcpy(&word, line + length, 8);
        if (const uint64_t differ = word ^ pattern) {
            const int bits = std::endian::native == std::endian::little ? std::countr_zero(differ)
                                                                        : std::countl_zero(differ);
            return length + static_cast<uint32_t>(bits) / 8;
        }
    }
    while (length < limit && line[length] == colour) ++length;
    return length;
}

// Writes one run at `out` (room for 4 bytes) and returns the end.
uint8_t* putRun(uint8_t* out, uint8_t colour, uint32_t length) {
    if (colour != 0 && length <= 2) {
        *out++ = colour;
        if (length == 2) *out++ = colour;
        return out;
    }
    *out++ = 0;
    const uint8_t colourFlag = colour != 0 ? 0x80 : 0x00;
    if (length > 63) {
        *out++ = static_cast<uint8_t>(colourFlag | 0x40 | length >> 8);
        *out++ = static_cast<uint8_t>(length);
    } else {
        *out++ = static_cast<uint8_t>(colourFlag | length);
    }
    if (colour != 0) *out++ = colour;
    return out;
}

// The part of a bitmap that lies on a frame of width × height, or an empty bitmap.
Bitmap cutToFrame(const Bitmap& b, uint16_t width, uint16_t height) {
    Bitmap out;
    if (b.x >= width || b.y >= height) return out;
    out.x = b.x;
    out.y = b.y;
    out.width = static_cast<uint16_t>(std::min<uint32_t>(b.width, width - b.x));
    out.height = static_cast<uint16_t>(std::min<uint32_t>(b.height, height - b.y));
    out.pixels.reserve(std::size_t{out.width} * out.height);
    for (uint32_t row = 0; row < out.height; ++row) {
        const auto line = b.pixels.begin() + static_cast<long>(std::size_t{row} * b.width);
        out.pixels.insert(out.pixels.end(), line, line + out.width);
    }
    return out;
}

}  // namespace

std::vector<uint8_t> encodePgsRle(const Bitmap& bitmap) {
    // At most 2 bytes a pixel (a single pixel of colour 0) and 2 a line: written in place, then
    // cut to what was used.
    std::vector<uint8_t> out(2 * std::size_t{bitmap.width} * bitmap.height +
                             2 * std::size_t{bitmap.height});
    uint8_t* end = out.data();
    for (uint32_t row = 0; row < bitmap.height; ++row) {
        const uint8_t* line = bitmap.pixels.data() + std::size_t{row} * bitmap.width;
        uint32_t at = 0;
        while (at < bitmap.width) {
            const uint32_t length = runLength(line + at, std::min(bitmap.width - at, kLongestRun));
            end = putRun(end, line[at], length);
            at += length;
        }
        *end++ = 0;
        *end++ = 0;
    }
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

PgsWriter::PgsWriter(uint16_t width, uint16_t height, ByteSink out, MessageLog log)
    : width_(width), height_(height), out_(std::move(out)), log_(std::move(log)) {}

void PgsWriter::segment(uint8_t type, uint32_t pts, std::span<const uint8_t> body) {
    set_.push_back('P');
    set_.push_back('G');
    put32(set_, pts);
    put32(set_, 0);  // decoding time: not needed by readers of the format
    set_.push_back(type);
    put16(set_, static_cast<uint32_t>(body.size()));
    set_.insert(set_.end(), body.begin(), body.end());
}

void PgsWriter::composition(uint32_t pts, bool withObject, bool forced, uint16_t x, uint16_t y) {
    body_.clear();
    put16(body_, width_);
    put16(body_, height_);
    body_.push_back(0x10);  // frame rate
    put16(body_, compositionNumber_++);
    body_.push_back(withObject ? 0x80 : 0x00);  // epoch start: the caption stands on its own
    body_.push_back(0x00);                      // no palette-only update
    body_.push_back(0);                         // palette id
    body_.push_back(withObject ? 1 : 0);
    if (withObject) {
        put16(body_, 0);                        // object id
        body_.push_back(0);                     // window id
        body_.push_back(forced ? 0x40 : 0x00);  // not cropped; forced on, like its unit
        put16(body_, x);
        put16(body_, y);
    }
    segment(kComposition, pts, body_);
}

void PgsWriter::window(uint32_t pts, uint16_t x, uint16_t y, uint16_t width, uint16_t height) {
    body_.clear();
    body_.push_back(1);
    body_.push_back(0);  // window id
    put16(body_, x);
    put16(body_, y);
    put16(body_, width);
    put16(body_, height);
    segment(kWindow, pts, body_);
}

// The entries the bitmap uses.
void PgsWriter::palette(uint32_t pts, const Palette& colours, const Bitmap& bitmap) {
    std::array<bool, 256> used{};
    for (uint8_t index : bitmap.pixels) used[index] = true;
    body_.clear();
    body_.push_back(0);  // palette id
    body_.push_back(0);  // version
    for (std::size_t i = 0; i < used.size(); ++i) {
        if (!used[i]) continue;
        const PaletteColour& c = colours[i];
        body_.insert(body_.end(), {static_cast<uint8_t>(i), c.y, c.cr, c.cb, c.alpha});
    }
    segment(kPalette, pts, body_);
}

// One object segment, or several fragments when its data exceed one segment.
void PgsWriter::object(uint32_t pts, const Bitmap& bitmap) {
    const std::vector<uint8_t> rle = encodePgsRle(bitmap);
    std::size_t at = 0;
    bool first = true;
    do {
        body_.clear();
        put16(body_, 0);     // object id
        body_.push_back(0);  // version
        body_.push_back(0);  // sequence flags, set below
        if (first) {
            put24(body_, static_cast<uint32_t>(rle.size() + 4));  // with width and height
            put16(body_, bitmap.width);
            put16(body_, bitmap.height);
        }
        const std::size_t take = std::min(rle.size() - at, kMaxSegmentBody - body_.size());
        body_.insert(body_.end(), rle.begin() + static_cast<long>(at),
                     rle.begin() + static_cast<long>(at + take));
        at += take;
        body_[3] = static_cast<uint8_t>((first ? 0x80 : 0) | (at == rle.size() ? 0x40 : 0));
        segment(kObject, pts, body_);
        first = false;
    } while (at < rle.size());
}

void PgsWriter::flush() {
    out_(set_);
    set_.clear();
}

void PgsWriter::caption(const Caption& c) {
    const Bitmap bitmap = cutToFrame(c.bitmap, width_, height_);
    if (bitmap.width == 0 || bitmap.height == 0) {
        if (log_)
            log_("Subpicture at " + formatTicks(c.start) + " skipped: it lies outside the " +
                 std::to_string(width_) + " x " + std::to_string(height_) + " video frame.");
        return;
    }
    if ((bitmap.width != c.bitmap.width || bitmap.height != c.bitmap.height) && !cutNoted_) {
        cutNoted_ = true;
        if (log_)
            log_("Subpictures that reach past the " + std::to_string(width_) + " x " +
                 std::to_string(height_) + " video frame are cut to it (first at " +
                 formatTicks(c.start) + ").");
    }
    composition(c.start, true, c.forced, bitmap.x, bitmap.y);
    window(c.start, bitmap.x, bitmap.y, bitmap.width, bitmap.height);
    palette(c.start, c.palette, bitmap);
    object(c.start, bitmap);
    segment(kEnd, c.start, {});
    flush();
    if (c.end && !c.replacedByNext) {
        composition(*c.end, false, false, 0, 0);
        window(*c.end, bitmap.x, bitmap.y, bitmap.width, bitmap.height);
        segment(kEnd, *c.end, {});
        flush();
    }
    ++captions_;
}

}  // namespace kavrel::formats
