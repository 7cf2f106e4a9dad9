#pragma once
// A decoded subpicture: a bitmap of colour indices, the palette the indices point into, and
// when it is shown. HD DVD units carry a 256-colour YCbCr palette with an alpha per entry; DVD
// units point their four pixel values into the disc's palette, which is replaced here by greys.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kavrel::formats {

// Receives one plain message line (damaged units, missing colours).
using MessageLog = std::function<void(const std::string&)>;

// One palette entry. alpha is the opacity, 0 transparent … 255 opaque (the inverse of the HD
// DVD alpha command's values).
struct PaletteColour {
    uint8_t y = 16;
    uint8_t cr = 128;
    uint8_t cb = 128;
    uint8_t alpha = 0;
    friend bool operator==(const PaletteColour&, const PaletteColour&) = default;
};
using Palette = std::array<PaletteColour, 256>;

struct Bitmap {
    uint16_t x = 0;  // top left corner on the video frame
    uint16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<uint8_t> pixels;  // width × height colour indices, line by line
    friend bool operator==(const Bitmap&, const Bitmap&) = default;
};

// DVD units have a 16-bit size and four colours; HD DVD units a 32-bit size and 256 colours.
enum class UnitForm { Dvd, HdDvd };

// What one subpicture unit shows. start and stop are 90 kHz ticks after the unit's PTS, from
// the delays of the control sequences that start and stop the display; either may be absent.
struct DecodedUnit {
    UnitForm form = UnitForm::HdDvd;
    Bitmap bitmap;  // empty when the unit starts no display
    Palette palette{};
    std::optional<uint32_t> start;
    std::optional<uint32_t> stop;
    bool forced = false;  // shown even when the viewer has subtitles off
};

// A subpicture on the stream's time line (90 kHz).
struct Caption {
    uint32_t start = 0;
    std::optional<uint32_t> end;  // none: shown until the stream ends
    bool replacedByNext = false;  // ends because the next caption takes the screen at `end`
    bool forced = false;
    UnitForm form = UnitForm::HdDvd;
    Bitmap bitmap;
    Palette palette{};
};

// "h:mm:ss.zzz" of a 90 kHz time, for messages and file names.
std::string formatTicks(uint32_t ticks);

}  // namespace kavrel::formats
