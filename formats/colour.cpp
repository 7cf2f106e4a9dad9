#include "formats/colour.h"

#include <algorithm>
#include <cmath>

namespace kavrel::formats {

namespace {
uint8_t clampRound(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}
}  // namespace

Rgba toRgba(const PaletteColour& c, ColourMatrix matrix) {
    // The luma weights of red and blue; green's follows from them.
    const double kr = matrix == ColourMatrix::Bt709 ? 0.2126 : 0.299;
    const double kb = matrix == ColourMatrix::Bt709 ? 0.0722 : 0.114;
    const double kg = 1 - kr - kb;
    const double y = (c.y - 16) * 255.0 / 219.0;
    const double cb = (c.cb - 128) * 255.0 / 224.0;
    const double cr = (c.cr - 128) * 255.0 / 224.0;
    Rgba out;
    out.r = clampRound(y + 2 * (1 - kr) * cr);
    out.b = clampRound(y + 2 * (1 - kb) * cb);
    out.g = clampRound(y - 2 * (1 - kb) * kb / kg * cb - 2 * (1 - kr) * kr / kg * cr);
    out.a = c.alpha;
    return out;
}

}  // namespace kavrel::formats
