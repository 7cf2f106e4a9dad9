#include "formats/subpicture_unit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "formats/subpicture_rle.h"

namespace kavrel::formats {

namespace {

constexpr uint32_t kDelayTicks = 1024;  // 90 kHz ticks per unit of a control sequence delay

uint32_t be16(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} << 8 | b[at + 1];
}
uint32_t be32(std::span<const uint8_t> b, std::size_t at) {
    return be16(b, at) << 16 | be16(b, at + 2);
}

// The fixed parts of the two forms.
struct FormLayout {
    UnitForm form;
    std::size_t header;       // bytes before the pixel data
    std::size_t dcsqHeader;   // delay and next offset
    std::size_t offsetBytes;  // width of an offset field
};
constexpr FormLayout kHd{UnitForm::HdDvd, 10, 6, 4};
constexpr FormLayout kDvd{UnitForm::Dvd, 4, 4, 2};

const FormLayout& layoutOf(std::span<const uint8_t> unit) {
    return unitSizeFieldEnd(unit[0], unit[1]) == 6 ? kHd : kDvd;
}

struct Area {
    uint32_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// Three bytes hold two 12-bit fields.
void twelveBitPair(std::span<const uint8_t> b, std::size_t at, uint32_t& first, uint32_t& second) {
    first = uint32_t{b[at]} << 4 | b[at + 1] >> 4;
    second = (uint32_t{b[at + 1]} & 0x0F) << 8 | b[at + 2];
}

// Walks the control sequences and decodes the fields of one unit. Each step returns an error
// text, or nullptr when it succeeded.
class UnitParser {
  public:
    UnitParser(std::span<const uint8_t> unit, const FormLayout& layout, Palette& palette,
               const DiscPalette* disc)
        : unit_(unit), layout_(layout), palette_(palette), disc_(disc) {}

    const char* parse(DecodedUnit& out) {
        out.form = layout_.form;
        const std::size_t size = unit_.size();
        const std::size_t first = layout_.form == UnitForm::HdDvd ? be32(unit_, 6) : be16(unit_, 2);
        if (first < layout_.header || first >= size)
            return "its first control sequence lies outside the unit";
        pixelEnd_ = first;
        if (const char* error = walk(first, out)) return error;
        if (!out.start) return nullptr;  // nothing to show: only a stop, or nothing at all
        if (const char* error = picture(out.bitmap)) return error;
        out.palette = palette_;
        return nullptr;
    }

    bool paletteGiven() const { return paletteGiven_; }

  private:
    const char* walk(std::size_t at, DecodedUnit& out) {
        const std::size_t size = unit_.size();
        for (;;) {
            if (at + layout_.dcsqHeader >= size)
                return "a control sequence runs past the end of the unit";
            const uint32_t ticks = be16(unit_, at) * kDelayTicks;
            const std::size_t next =
                layout_.form == UnitForm::HdDvd ? be32(unit_, at + 2) : be16(unit_, at + 2);
            // Commands after the display has started change a picture already shown; the
            // picture kept is the one set up when it starts.
            const bool setUp = !out.start;
            if (const char* error = commands(at + layout_.dcsqHeader, ticks, setUp, out))
                return error;
            if (next == at) return nullptr;
            // Every sequence lies after the one before, so the walk ends within the unit.
            if (next < at) return "its control sequences loop back";
            if (next >= size) return "a control sequence points past the end of the unit";
            at = next;
        }
    }

    const char* commands(std::size_t at, uint32_t ticks, bool setUp, DecodedUnit& out) {
        const std::size_t size = unit_.size();
        const bool hd = layout_.form == UnitForm::HdDvd;
        for (;;) {
            if (at >= size) return "a control sequence has no end mark";
            const uint8_t command = unit_[at++];
            // 0x03-0x07 belong to DVD units, 0x83-0x86 to HD DVD units.
            if (command > 0x02 && command != 0xFF && (command < 0x80) == hd)
                return "it has an unknown control command";
            std::size_t length = 0;  // parameter bytes
            switch (command) {
                case 0xFF:
                    return nullptr;
                case 0x00:
                case 0x01:
                    if (!out.start) {
                        out.start = ticks;
                        out.forced = command == 0x00;
                        setUp = true;  // this sequence's own commands belong to the picture
                    }
                    break;
                case 0x02:
                    if (!out.stop && (!out.start || ticks >= *out.start)) out.stop = ticks;
                    break;
                case 0x03:  // colours: entries of the disc's palette
                    length = 2;
                    break;
                case 0x04:
                    length = 2;
                    break;
                case 0x05:
                case 0x85:
                    length = 6;
                    break;
                case 0x06:
                    length = 4;
                    break;
                case 0x86:
                    length = 8;
                    break;
                case 0x07:  // colour and contrast changes per area: their own 16-bit size
                    if (at + 2 > size) return "a control command runs past the end of the unit";
                    length = be16(unit_, at);
                    if (length < 2) return "a colour change command has a wrong size";
                    break;
                case 0x83:
                    length = 768;
                    break;
                case 0x84:
                    length = 256;
                    break;
                default:
                    return "it has an unknown control command";
            }
            if (at + length > size) return "a control command runs past the end of the unit";
            if (setUp) apply(command, at);
            at += length;
        }
    }

    // The four nibbles of a DVD colour or contrast command, for pixel values 3, 2, 1, 0.
    uint32_t nibbleOf(std::size_t at, int value) const {
        const uint8_t byte = unit_[at + (value < 2 ? 1 : 0)];
        return value % 2 == 0 ? byte & 0x0Fu : uint32_t{byte} >> 4;
    }

    void apply(uint8_t command, std::size_t at) {
        switch (command) {
            case 0x03:  // without the disc's palette the values keep their grey roles
                if (!disc_) break;
                for (int value = 0; value < 4; ++value) {
                    const PaletteColour& colour = (*disc_)[nibbleOf(at, value)];
                    PaletteColour& entry = palette_[static_cast<std::size_t>(value)];
                    entry = {colour.y, colour.cr, colour.cb, entry.alpha};
                }
                break;
            case 0x04:  // contrast of pixel values 3, 2, 1, 0 in nibbles: 0 transparent … 15
                for (int value = 0; value < 4; ++value)
                    palette_[static_cast<std::size_t>(value)].alpha =
                        static_cast<uint8_t>(nibbleOf(at, value) * 17);
                break;
            case 0x05:
            case 0x85: {
                twelveBitPair(unit_, at, area_.x1, area_.x2);
                twelveBitPair(unit_, at + 3, area_.y1, area_.y2);
                haveArea_ = true;
                break;
            }
            case 0x06:
                top_ = be16(unit_, at);
                bottom_ = be16(unit_, at + 2);
                haveFields_ = true;
                break;
            case 0x86:
                top_ = be32(unit_, at);
                bottom_ = be32(unit_, at + 4);
                haveFields_ = true;
                break;
            case 0x83:
                for (std::size_t i = 0; i < 256; ++i) {
                    palette_[i].y = unit_[at + 3 * i];
                    palette_[i].cr = unit_[at + 3 * i + 1];
                    palette_[i].cb = unit_[at + 3 * i + 2];
                }
                paletteGiven_ = true;
                break;
            case 0x84:  // 0 opaque … 255 transparent
                for (std::size_t i = 0; i < 256; ++i)
                    palette_[i].alpha = static_cast<uint8_t>(255 - unit_[at + i]);
                break;
            default:
                break;
        }
    }

    const char* picture(Bitmap& bitmap) {
        if (!haveArea_) return "it has no display area";
        const Area& a = area_;
        if (a.x2 < a.x1 || a.y2 < a.y1) return "its display area ends before it begins";
        const uint32_t width = a.x2 - a.x1 + 1, height = a.y2 - a.y1 + 1;
        if (width > kMaxPictureWidth || height > kMaxPictureHeight)
            return "its display area is larger than 1920 x 1080";
        if (!haveFields_) return "it has no field offsets";
        bitmap.x = static_cast<uint16_t>(a.x1);
        bitmap.y = static_cast<uint16_t>(a.y1);
        bitmap.width = static_cast<uint16_t>(width);
        bitmap.height = static_cast<uint16_t>(height);
        bitmap.pixels.assign(std::size_t{width} * height, 0);
        const bool hd = layout_.form == UnitForm::HdDvd;
        int line = 0;
        for (std::size_t offset : {top_, bottom_}) {
            auto field = fieldData(offset);
            if (!field) return "a field offset lies outside the unit";
            const bool complete =
                hd ? decodeHdField(*field, bitmap, line) : decodeDvdField(*field, bitmap, line);
            if (!complete) return "its run-length data runs past the end of its field";
            ++line;
        }
        return nullptr;
    }

    // A field's codes run to the first control sequence, or to the end of the unit when the
    // field lies after it.
    std::optional<std::span<const uint8_t>> fieldData(std::size_t offset) const {
        if (offset < layout_.header || offset >= unit_.size()) return std::nullopt;
        const std::size_t end = offset < pixelEnd_ ? pixelEnd_ : unit_.size();
        return unit_.subspan(offset, end - offset);
    }

    std::span<const uint8_t> unit_;
    const FormLayout& layout_;
    Palette& palette_;
    const DiscPalette* disc_;
    std::size_t pixelEnd_ = 0;
    Area area_;
    bool haveArea_ = false;
    std::size_t top_ = 0, bottom_ = 0;
    bool haveFields_ = false;
    bool paletteGiven_ = false;
};

}  // namespace

void SubpictureDecoder::setDiscPalette(const std::array<uint32_t, 16>& rgb) {
    DiscPalette palette;
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        const double r = (rgb[i] >> 16) & 0xFF, g = (rgb[i] >> 8) & 0xFF, b = rgb[i] & 0xFF;
        auto byte = [](double v) {
            return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
        };
        palette[i] = {byte(16 + 0.257 * r + 0.504 * g + 0.098 * b),
                      byte(128 + 0.439 * r - 0.368 * g - 0.071 * b),
                      byte(128 - 0.148 * r - 0.291 * g + 0.439 * b), 255};
    }
    disc_ = palette;
}

uint32_t declaredUnitSize(std::span<const uint8_t> head) {
    if (head.size() < 2 || head.size() < unitSizeFieldEnd(head[0], head[1])) return 0;
    const FormLayout& layout = layoutOf(head);
    const uint32_t size = layout.form == UnitForm::HdDvd ? be32(head, 2) : be16(head, 0);
    // The fixed header, and a control sequence of at least its header and end mark.
    const uint32_t least = static_cast<uint32_t>(layout.header + layout.dcsqHeader + 1);
    if (size < least || size > kMaxHdUnitSize) return 0;
    return size;
}

Palette greyPalette() {
    Palette p{};
    for (std::size_t i = 0; i < p.size(); ++i) {
        p[i].y = static_cast<uint8_t>(16 + i * 219 / 255);
        p[i].alpha = 255;
    }
    p[0] = {16, 128, 128, 0};
    p[1] = {235, 128, 128, 255};
    p[2] = {16, 128, 128, 255};
    p[3] = {126, 128, 128, 255};
    return p;
}

SubpictureDecoder::SubpictureDecoder(MessageLog log)
    : log_(std::move(log)), hdPalette_(greyPalette()), dvdPalette_(greyPalette()) {}

std::optional<DecodedUnit> SubpictureDecoder::decode(std::span<const uint8_t> unit, uint32_t pts) {
    const char* error = nullptr;
    DecodedUnit out;
    bool hd = false;
    const uint32_t declared = declaredUnitSize(unit);
    if (declared == 0 || declared != unit.size()) {
        error = "its size field does not match its length";
    } else {
        const FormLayout& layout = layoutOf(unit);
        hd = layout.form == UnitForm::HdDvd;
        Palette palette = hd ? hdPalette_ : dvdPalette_;
        UnitParser parser(unit, layout, palette, disc_ ? &*disc_ : nullptr);
        error = parser.parse(out);
        if (!error) {
            // Colours carry over to the units that follow.
            (hd ? hdPalette_ : dvdPalette_) = palette;
            if (hd && parser.paletteGiven()) hdPaletteSeen_ = true;
            if (out.start && !greyNoted_ && (hd ? !hdPaletteSeen_ : !disc_)) {
                greyNoted_ = true;
                if (log_)
                    log_(hd ? "Subpicture units without a palette are shown in grey."
                            : "DVD subpicture colours are set in the disc's palette, which the "
                              "stream does not carry: they are shown in grey.");
            }
        }
    }
    if (error) {
        ++skipped_;
        if (log_) log_("Subpicture unit at " + formatTicks(pts) + " skipped: " + error + ".");
        return std::nullopt;
    }
    ++decoded_;
    return out;
}

std::string formatTicks(uint32_t ticks) {
    const uint64_t ms = (uint64_t{ticks} + 45) / 90;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu",
                  static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60),
                  static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

}  // namespace kavrel::formats
