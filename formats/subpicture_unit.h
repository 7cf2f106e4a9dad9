#pragma once
// Decoding of one subpicture unit, DVD or HD DVD form.
//
// HD DVD unit: 00 00, 32-bit unit size, 32-bit offset of the first display control sequence
// (DCSQ); DVD unit: 16-bit unit size, 16-bit DCSQ offset. The run-length coded fields come
// before the first DCSQ. A DCSQ is a 16-bit delay (1024/90000 s units after the unit's PTS),
// the offset of the next DCSQ (the last points to itself), commands, and 0xFF.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/subpicture.h"

namespace kavrel::formats {

// The largest HD DVD unit taken: room for a 1920 × 1080 picture of single pixels in 8-bit
// codes (10 bits each) with its palette. Anything larger is damage, not a picture.
inline constexpr uint32_t kMaxHdUnitSize = 4 * 1024 * 1024;
// The largest picture taken: the HD DVD video frame.
inline constexpr uint32_t kMaxPictureWidth = 1920;
inline constexpr uint32_t kMaxPictureHeight = 1080;

// Bytes at the start of a unit that say its size: 6 for an HD DVD unit (whose first two bytes
// are zero), else 2.
inline std::size_t unitSizeFieldEnd(uint8_t first, uint8_t second) {
    return first == 0 && second == 0 ? 6 : 2;
}

// The size that a unit's first bytes (at least unitSizeFieldEnd of them) declare, or 0 when
// it cannot be the size of a unit (smaller than the unit's fixed part, or too large).
uint32_t declaredUnitSize(std::span<const uint8_t> head);

// The 16 colours a DVD title's program chain gives its subpictures (in the IFO).
using DiscPalette = std::array<PaletteColour, 16>;

// Decodes the units of one stream. Colours a unit does not set are those of the unit before
// (HD DVD units without a palette or alpha command) or the grey defaults.
class SubpictureDecoder {
  public:
    explicit SubpictureDecoder(MessageLog log);

    // The disc's palette (0xRRGGBB, BT.601 studio range on the way back to YCrCb): DVD units
    // then show the colours they name instead of grey roles.
    void setDiscPalette(const std::array<uint32_t, 16>& rgb);

    // Decodes one whole unit. A damaged unit gives nullopt and one log line that names its
    // time (pts, 90 kHz) and what is wrong; nothing outside `unit` is read.
    std::optional<DecodedUnit> decode(std::span<const uint8_t> unit, uint32_t pts);

    uint64_t decoded() const { return decoded_; }
    uint64_t skipped() const { return skipped_; }

  private:
    MessageLog log_;
    Palette hdPalette_;   // last HD DVD palette and alpha
    Palette dvdPalette_;  // greys, with the last DVD contrast as alpha
    std::optional<DiscPalette> disc_;
    bool hdPaletteSeen_ = false;
    bool greyNoted_ = false;
    uint64_t decoded_ = 0;
    uint64_t skipped_ = 0;
};

// The palette used where a disc's colours are unknown: DVD units name colours of the disc's
// palette (kept in the IFO, not in the stream), so their four pixel values are shown by role:
// 0 background black, 1 pattern white, 2 first emphasis black, 3 second emphasis grey. HD DVD
// units without a palette get the same four, then a grey ramp. Entry 0 is transparent, the
// others opaque, until an alpha or contrast command says otherwise.
Palette greyPalette();

}  // namespace kavrel::formats
