// Subpicture units: header, run-length coded bitmap (filler) and the display control
// sequences that show the bitmap and take it down two seconds later.
#include <stdexcept>

#include "tools/mkdisc/elementary.h"

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

constexpr uint32_t kDisplayDelay = 2 * 90000 / 1024;  // two seconds, in 1024/90000 s units

// DVD-Video unit: 16-bit unit size and 16-bit offset of the first control sequence.
class DvdSubpictureBuilder : public AccessUnitBuilder {
  public:
    explicit DvdSubpictureBuilder(Filler& filler) : filler_(filler) {}

    void build(uint64_t, std::vector<uint8_t>& out) override {
        std::size_t start = out.size();
        uint32_t bitmap = filler_.between(2400, 5600) & ~1u;
        put16(out, 0);  // unit size, set below
        put16(out, 0);  // offset of the first control sequence, set below
        filler_.appendNonZero(out, bitmap);
        auto first = static_cast<uint32_t>(out.size() - start);
        put16(out, 0);  // show at once
        put16(out, 0);  // offset of the next control sequence, set below
        out.insert(out.end(), {0x03, 0x32, 0x10});                          // palette
        out.insert(out.end(), {0x04, 0xFF, 0xF0});                          // contrast
        out.insert(out.end(), {0x05, 0x0B, 0x42, 0xA3, 0x1B, 0xC2, 0x2D});  // display area
        out.push_back(0x06);                                                // field offsets
        put16(out, 4);
        put16(out, 4 + bitmap / 2);
        out.push_back(0x01);  // start display
        out.push_back(0xFF);
        auto second = static_cast<uint32_t>(out.size() - start);
        set16(out, start + first + 2, second);
        put16(out, kDisplayDelay);
        put16(out, second);   // the last sequence points to itself
        out.push_back(0x02);  // stop display
        out.push_back(0xFF);
        set16(out, start, static_cast<uint32_t>(out.size() - start));
        set16(out, start + 2, first);
    }

  private:
    Filler& filler_;
};

// HD DVD unit: two zero bytes, 32-bit unit size, 32-bit offset of the control sequence.
class HdSubpictureBuilder : public AccessUnitBuilder {
  public:
    explicit HdSubpictureBuilder(Filler& filler) : filler_(filler) {}

    void build(uint64_t, std::vector<uint8_t>& out) override {
        std::size_t start = out.size();
        uint32_t bitmap = filler_.between(5000, 9000);
        put16(out, 0);
        put32(out, 0);  // unit size, set below
        put32(out, 0);  // control sequence offset, set below
        filler_.appendNonZero(out, bitmap);
        auto control = static_cast<uint32_t>(out.size() - start);
        put16(out, 0);
        put32(out, control);
        out.push_back(0x01);  // start display
        out.push_back(0xFF);
        put16(out, kDisplayDelay);
        put32(out, control);
        out.push_back(0x02);  // stop display
        out.push_back(0xFF);
        set32(out, start + 2, static_cast<uint32_t>(out.size() - start));
        set32(out, start + 6, control);
    }

  private:
    Filler& filler_;
};

}  // namespace

std::unique_ptr<AccessUnitBuilder> makeSubpicture(Codec codec, Filler& filler) {
    switch (codec) {
        case Codec::Subpicture:
            return std::make_unique<DvdSubpictureBuilder>(filler);
        case Codec::ExtSubpicture:
            return std::make_unique<HdSubpictureBuilder>(filler);
        default:
            throw std::invalid_argument("not a subpicture codec");
    }
}

}  // namespace kavrel::mkdisc
