#include "dvdvideo/interleave.h"

#include <dvdread/nav_read.h>

#include <cstring>

#include "dvdvideo/pack_checks.h"

namespace kavrel::dvdvideo {

bool appendInterleavedRanges(const VobSpace& space, uint64_t first, uint64_t last,
                             std::vector<ByteRange>& out) {
    if (first > last || last >= space.sectors()) return false;
    uint64_t unit = first;
    // Each step moves forward inside the cell, so there are at most as many as its sectors.
    for (uint64_t steps = 0; steps <= last - first; ++steps) {
        const auto sector = space.readSector(unit);
        const std::size_t at = sector ? dsiOffset(*sector) : 0;
        if (at == 0) return space.appendRanges(unit, last, out);
        unsigned char data[kSectorBytes + 16] = {};  // the reader may look a little past the end
        std::memcpy(data, sector->data(), kSectorBytes);
        dsi_t dsi{};
        navRead_DSI(&dsi, data + at);
        const uint64_t end = dsi.sml_pbi.ilvu_ea == 0 ? last : unit + dsi.sml_pbi.ilvu_ea;
        if (end > last) return space.appendRanges(unit, last, out);
        space.appendRanges(unit, end, out);
        const uint32_t next = dsi.sml_pbi.ilvu_sa;
        if (next == 0 || next == 0xFFFFFFFFu || unit + next <= end || unit + next > last)
            return true;
        unit += next;
    }
    return true;
}

}  // namespace kavrel::dvdvideo
