#pragma once
// The cells of an angle block interleave their angles in units (ILVUs); a player reads one
// angle's units and jumps over the others as the navigation packs say.
#include <cstdint>
#include <vector>

#include "dvdvideo/vob_space.h"

namespace kavrel::dvdvideo {

// Appends the ranges of the interleaved units of the cell first..last (one angle's cell):
// from the cell's first sector, each unit runs to its end address (ILVU_EA of the DSI) and the
// next of this angle starts at NT_ILVU_SA, both counted from the unit's navigation pack. A
// sector without a navigation pack, or an address outside the cell, ends the walk; false when
// the cell reaches past the space.
bool appendInterleavedRanges(const VobSpace& space, uint64_t first, uint64_t last,
                             std::vector<ByteRange>& out);

}  // namespace kavrel::dvdvideo
