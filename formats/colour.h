#pragma once
// Palette colours (studio-range YCbCr) as RGB for pictures on a screen.
#include <cstdint>

#include "formats/subpicture.h"

namespace kavrel::formats {

// HD DVD pictures use the ITU-R BT.709 colour matrix, DVD pictures BT.601.
enum class ColourMatrix { Bt601, Bt709 };

inline ColourMatrix matrixOf(UnitForm form) {
    return form == UnitForm::HdDvd ? ColourMatrix::Bt709 : ColourMatrix::Bt601;
}

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// Y 16–235 and Cb, Cr 16–240 onto 0–255, rounded and clamped; alpha is passed on.
Rgba toRgba(const PaletteColour& colour, ColourMatrix matrix);

}  // namespace kavrel::formats
