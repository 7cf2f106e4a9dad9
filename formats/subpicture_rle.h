#pragma once
// The run-length codes of one field of a subpicture bitmap. A field holds every second line of
// the picture (the top field the even lines, the bottom field the odd ones); each coded line
// ends on a byte boundary.
#include <cstdint>
#include <span>

#include "formats/subpicture.h"

namespace kavrel::formats {

// Decodes the lines first, first + 2, … of `bitmap` (sized already) from `data`. Returns false
// when the data ends before the last line is complete. A run longer than the rest of its line
// is cut at the line's end.
//
// HD DVD codes: 1 bit "run", 1 bit "8-bit colour", the colour (8 or 2 bits), then for a run
// 1 bit "long" and 3 bits of length − 2 (2–9) or 7 bits of length − 9 (10–136; 0: to the end
// of the line).
bool decodeHdField(std::span<const uint8_t> data, Bitmap& bitmap, int first);

// DVD codes, in nibbles: 1 nibble for lengths 1–3, 2 for 4–15, 3 for 16–63, 4 for 64–255 or 0
// (to the end of the line); the low two bits are the colour, the rest the length.
bool decodeDvdField(std::span<const uint8_t> data, Bitmap& bitmap, int first);

}  // namespace kavrel::formats
