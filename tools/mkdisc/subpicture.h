#pragma once
// The pictures the generator draws into its subpicture units, so that tests can compare a
// decoded unit with what was drawn, pixel for pixel.
#include <array>
#include <cstdint>
#include <vector>

#include "tools/mkdisc/elementary.h"

namespace kavrel::mkdisc {

struct DrawnSubpicture {
    uint16_t x = 0, y = 0, width = 0, height = 0;  // display area on the frame
    std::vector<uint8_t> pixels;  // width × height colour indices (DVD: pixel values 0–3)
    // HD DVD: the palette command's Y, Cr, Cb of each entry and the alpha command's values
    // (0 opaque … 255 transparent).
    std::array<uint8_t, 768> ycrcb{};
    std::array<uint8_t, 256> alpha{};
    // DVD: the contrast of pixel values 0–3 (0 transparent … 15 opaque).
    std::array<uint8_t, 4> contrast{};
    uint16_t startDelay = 0;  // control sequence delays, 1024/90000 s after the unit's PTS
    uint16_t stopDelay = 0;
    bool forced = false;  // started with the forced-start command
};

// Unit number `index` of a subpicture stream of the codec (Subpicture: DVD form; ExtSubpicture:
// HD DVD form). The same index always gives the same picture.
DrawnSubpicture drawSubpicture(Codec codec, uint64_t index);

}  // namespace kavrel::mkdisc
