// Subpicture units: a drawn picture (a line of outlined, shaded glyphs, a band of runs of every
// length class, a band of single-pixel noise) run-length coded into its two fields, and the
// display control sequences that set up its colours and area, show it and take it down.
#include "tools/mkdisc/subpicture.h"

#include <algorithm>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tools/mkdisc/bit_writer.h"

namespace kavrel::mkdisc {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v);
}
void set16(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v >> 8);
    out[at + 1] = static_cast<uint8_t>(v);
}
void set32(std::vector<uint8_t>& out, std::size_t at, uint32_t v) {
    set16(out, at, v >> 16);
    set16(out, at + 2, v);
}
// Two 12-bit fields in three bytes.
void putPair12(std::vector<uint8_t>& out, uint32_t a, uint32_t b) {
    out.push_back(static_cast<uint8_t>(a >> 4));
    out.push_back(static_cast<uint8_t>((a & 0x0F) << 4 | b >> 8));
    out.push_back(static_cast<uint8_t>(b));
}

// Numbers from the raw engine output, the same on every standard library.
class Dice {
  public:
    explicit Dice(uint32_t seed) : engine_(seed) {}
    uint32_t between(uint32_t low, uint32_t high) {
        return low + static_cast<uint32_t>(engine_() % (uint64_t{high} - low + 1));
    }

  private:
    std::mt19937 engine_;
};

class Canvas {
  public:
    explicit Canvas(DrawnSubpicture& p) : p_(p) {
        p.pixels.assign(std::size_t{p.width} * p.height, 0);
    }
    void set(uint32_t x, uint32_t y, uint8_t colour) {
        if (x < p_.width && y < p_.height) p_.pixels[std::size_t{y} * p_.width + x] = colour;
    }
    void box(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t colour) {
        for (uint32_t y = y0; y < y1; ++y)
            for (uint32_t x = x0; x < x1; ++x) set(x, y, colour);
    }

  private:
    DrawnSubpicture& p_;
};

// Glyph-like boxes between rows top and bottom: filled, outlined, shaded to the lower right,
// some with a hole.
void drawGlyphs(Canvas& c, Dice& d, uint32_t width, uint32_t top, uint32_t bottom, uint8_t fill) {
    uint32_t x = d.between(2, 12);
    while (x + 50 < width) {
        const uint32_t w = d.between(6, 40);
        const uint32_t y0 = top + d.between(0, (bottom - top) / 4);
        c.box(x + 2, y0 + 2, x + w + 2, bottom + 2, 3);  // shade
        c.box(x, y0, x + w, bottom, 2);                  // outline
        c.box(x + 1, y0 + 1, x + w - 1, bottom - 1, fill);
        if (w > 12 && d.between(0, 1)) c.box(x + 4, y0 + 4, x + w - 4, bottom - 4, 0);
        x += w + d.between(3, 24);
    }
}

DrawnSubpicture draw(bool hd, uint64_t index) {
    Dice d(static_cast<uint32_t>(index * 2654435761u) ^ (hd ? 0x5EED0001u : 0x5EED0002u));
    DrawnSubpicture p;
    const uint32_t frameWidth = hd ? 1920 : 720, frameHeight = hd ? 1080 : 480;
    p.width = static_cast<uint16_t>(hd ? d.between(480, 1400) : d.between(300, 700));
    p.height = static_cast<uint16_t>(hd ? d.between(64, 150) : d.between(48, 110));
    p.x = static_cast<uint16_t>(d.between(0, frameWidth - p.width));
    p.y = static_cast<uint16_t>(d.between(frameHeight * 2 / 3, frameHeight - p.height));
    Canvas c(p);

    // A band of runs of every length class (single pixels, short, long, longer than one code
    // holds) in colours over the whole palette; HD DVD only, DVD pictures have four colours.
    const uint32_t noiseRows = hd ? 2 : 10;
    uint32_t glyphTop = 2;
    if (hd) {
        static constexpr uint32_t kLengths[] = {1, 2, 3, 9, 10, 11, 64, 136, 137, 200, 5, 1};
        for (uint32_t y = 0; y < 3; ++y) {
            uint32_t x = 0;
            for (std::size_t i = y; x < p.width; ++i) {
                const uint32_t n = kLengths[i % std::size(kLengths)];
                c.box(x, y, x + n, y + 1, static_cast<uint8_t>(d.between(0, 255)));
                x += n;
            }
        }
        glyphTop = 5;
    }
    const uint8_t fill = hd && index % 2 ? static_cast<uint8_t>(d.between(4, 255)) : 1;
    drawGlyphs(c, d, p.width, glyphTop, p.height - noiseRows - 3, fill);
    for (uint32_t y = p.height - noiseRows; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x)
            c.set(x, y, static_cast<uint8_t>(d.between(0, hd ? 255 : 3)));

    if (hd) {
        for (auto& v : p.ycrcb) v = static_cast<uint8_t>(d.between(16, 235));
        for (std::size_t i = 0; i < p.alpha.size(); ++i)
            p.alpha[i] = i % 7 == 5 ? static_cast<uint8_t>(d.between(1, 254)) : 0;
        p.alpha[0] = 255;  // the background is transparent
    } else {
        p.contrast = {0, 15, static_cast<uint8_t>(d.between(8, 15)),
                      static_cast<uint8_t>(d.between(4, 15))};
    }
    p.startDelay = static_cast<uint16_t>(index % 3 * 7);
    p.stopDelay = static_cast<uint16_t>(p.startDelay + 120 + index % 5 * 10);  // < 2 s
    p.forced = index % 4 == 3;
    return p;
}

// One field's lines in HD DVD codes. `wide` codes colours 0–3 in 8 bits too.
std::vector<uint8_t> hdField(const DrawnSubpicture& p, uint32_t first, bool wide) {
    BitWriter w;
    for (uint32_t y = first; y < p.height; y += 2) {
        const uint8_t* line = p.pixels.data() + std::size_t{y} * p.width;
        for (uint32_t x = 0; x < p.width;) {
            const uint8_t colour = line[x];
            uint32_t n = 1;
            while (x + n < p.width && line[x + n] == colour) ++n;
            const bool eightBit = wide || colour >= 4;
            if (colour == 0 && x + n == p.width && n >= 10) {  // to the end of the line
                w.put(0b1000, 4);
                w.put(0b1, 1);
                w.put(0, 7);
                break;
            }
            n = std::min<uint32_t>(n, 136);
            w.put(n > 1, 1);
            w.put(eightBit, 1);
            w.put(colour, eightBit ? 8 : 2);
            if (n > 1) {
                w.put(n > 9, 1);
                if (n > 9)
                    w.put(n - 9, 7);
                else
                    w.put(n - 2, 3);
            }
            x += n;
        }
        w.align();
    }
    return w.bytes();
}

// One field's lines in DVD nibble codes.
std::vector<uint8_t> dvdField(const DrawnSubpicture& p, uint32_t first) {
    BitWriter w;
    for (uint32_t y = first; y < p.height; y += 2) {
        const uint8_t* line = p.pixels.data() + std::size_t{y} * p.width;
        for (uint32_t x = 0; x < p.width;) {
            const uint8_t colour = line[x];
            uint32_t n = 1;
            while (x + n < p.width && line[x + n] == colour) ++n;
            if (colour == 0 && x + n == p.width && n > 3) {  // to the end of the line
                w.put(0, 16);
                break;
            }
            n = std::min<uint32_t>(n, 255);
            const uint32_t code = n << 2 | colour;
            w.put(code, n < 4 ? 4 : n < 16 ? 8 : n < 64 ? 12 : 16);
            x += n;
        }
        w.align();
    }
    return w.bytes();
}

constexpr uint32_t kNoOffset = 0;

// HD DVD unit: two zero bytes, 32-bit unit size, 32-bit control sequence offset.
void buildHd(const DrawnSubpicture& p, uint64_t index, std::vector<uint8_t>& out) {
    const std::size_t start = out.size();
    put16(out, 0);
    put32(out, 0);  // unit size, set below
    put32(out, 0);  // control sequence offset, set below
    const auto top = hdField(p, 0, false);
    const auto bottom = hdField(p, 1, index % 2 == 1);
    const auto topOffset = static_cast<uint32_t>(out.size() - start);
    out.insert(out.end(), top.begin(), top.end());
    const auto bottomOffset = static_cast<uint32_t>(out.size() - start);
    out.insert(out.end(), bottom.begin(), bottom.end());

    const auto first = static_cast<uint32_t>(out.size() - start);
    put16(out, p.startDelay);
    put32(out, kNoOffset);  // next sequence, set below
    const uint8_t startCommand = p.forced ? 0x00 : 0x01;
    // Commands that follow the start in its own sequence still set up the picture.
    if (index % 3 == 1) out.push_back(startCommand);
    out.push_back(0x83);
    for (uint8_t v : p.ycrcb) out.push_back(v);
    out.push_back(0x84);
    for (uint8_t v : p.alpha) out.push_back(v);
    out.push_back(0x85);
    putPair12(out, p.x, p.x + p.width - 1u);
    putPair12(out, p.y, p.y + p.height - 1u);
    out.push_back(0x86);
    put32(out, topOffset);
    put32(out, bottomOffset);
    if (index % 3 != 1) out.push_back(startCommand);
    out.push_back(0xFF);

    const auto second = static_cast<uint32_t>(out.size() - start);
    set32(out, start + first + 2, second);
    put16(out, p.stopDelay);
    put32(out, second);   // the last sequence points to itself
    out.push_back(0x02);  // stop display
    out.push_back(0xFF);
    set32(out, start + 2, static_cast<uint32_t>(out.size() - start));
    set32(out, start + 6, first);
}

// DVD unit: 16-bit unit size and 16-bit offset of the first control sequence.
void buildDvd(const DrawnSubpicture& p, std::vector<uint8_t>& out) {
    const std::size_t start = out.size();
    put16(out, 0);  // unit size, set below
    put16(out, 0);  // offset of the first control sequence, set below
    const auto top = dvdField(p, 0);
    const auto bottom = dvdField(p, 1);
    const auto topOffset = static_cast<uint32_t>(out.size() - start);
    out.insert(out.end(), top.begin(), top.end());
    const auto bottomOffset = static_cast<uint32_t>(out.size() - start);
    out.insert(out.end(), bottom.begin(), bottom.end());

    const auto first = static_cast<uint32_t>(out.size() - start);
    put16(out, p.startDelay);
    put16(out, kNoOffset);                      // next sequence, set below
    out.insert(out.end(), {0x03, 0x32, 0x10});  // colours: entries of the disc's palette
    out.push_back(0x04);
    out.push_back(static_cast<uint8_t>(p.contrast[3] << 4 | p.contrast[2]));
    out.push_back(static_cast<uint8_t>(p.contrast[1] << 4 | p.contrast[0]));
    out.push_back(0x05);
    putPair12(out, p.x, p.x + p.width - 1u);
    putPair12(out, p.y, p.y + p.height - 1u);
    out.push_back(0x06);
    put16(out, topOffset);
    put16(out, bottomOffset);
    out.push_back(p.forced ? 0x00 : 0x01);
    out.push_back(0xFF);
    const auto second = static_cast<uint32_t>(out.size() - start);
    set16(out, start + first + 2, second);
    put16(out, p.stopDelay);
    put16(out, second);   // the last sequence points to itself
    out.push_back(0x02);  // stop display
    out.push_back(0xFF);
    if (out.size() - start > 0xFFFF) throw std::logic_error("DVD subpicture unit too large");
    set16(out, start, static_cast<uint32_t>(out.size() - start));
    set16(out, start + 2, first);
}

class SubpictureBuilder : public AccessUnitBuilder {
  public:
    SubpictureBuilder(Codec codec, Filler& filler) : codec_(codec), filler_(filler) {}

    void build(uint64_t index, std::vector<uint8_t>& out) override {
        // The filler once gave these units their content; its draws are still made, so that
        // the streams drawn after them keep their content.
        if (codec_ == Codec::ExtSubpicture)
            filler_.pass(filler_.between(5000, 9000));
        else
            filler_.pass(filler_.between(2400, 5600) & ~1u);
        const DrawnSubpicture p = drawSubpicture(codec_, index);
        if (codec_ == Codec::ExtSubpicture)
            buildHd(p, index, out);
        else
            buildDvd(p, out);
    }

  private:
    Codec codec_;
    Filler& filler_;
};

}  // namespace

DrawnSubpicture drawSubpicture(Codec codec, uint64_t index) {
    if (!isSubpicture(codec)) throw std::invalid_argument("not a subpicture codec");
    return draw(codec == Codec::ExtSubpicture, index);
}

std::unique_ptr<AccessUnitBuilder> makeSubpicture(Codec codec, Filler& filler) {
    if (!isSubpicture(codec)) throw std::invalid_argument("not a subpicture codec");
    return std::make_unique<SubpictureBuilder>(codec, filler);
}

}  // namespace kavrel::mkdisc
