#include "dvdvideo/pack_checks.h"

#include <dvdread/nav_types.h>

#include "dvdvideo/vob_space.h"
#include "engine/stream_ids.h"

namespace kavrel::dvdvideo {

namespace {

bool startCode(std::span<const uint8_t> s, std::size_t at, uint8_t id) {
    return at + 4 <= s.size() && s[at] == 0 && s[at + 1] == 0 && s[at + 2] == 1 && s[at + 3] == id;
}

// The offset after an MPEG-2 pack header and the system header that may follow; 0 when the
// sector does not start with a pack header.
std::size_t afterPackHeader(std::span<const uint8_t> s) {
    if (!startCode(s, 0, kPackStartId) || s.size() < 14 || (s[4] & 0xC0) != 0x40) return 0;
    std::size_t at = 14 + (s[13] & 7);
    if (startCode(s, at, kSystemHeaderId) && at + 6 <= s.size())
        at += 6 + (static_cast<std::size_t>(s[at + 4]) << 8 | s[at + 5]);
    return at;
}

}  // namespace

bool packIsScrambled(std::span<const uint8_t> sector) {
    const std::size_t at = afterPackHeader(sector);
    if (at == 0 || at + 7 > sector.size() || !startCode(sector, at, sector[at + 3])) return false;
    const uint8_t id = sector[at + 3];
    const bool media = id == kPrivateStream1Id || (id >= 0xC0 && id <= 0xEF);
    const uint8_t flags = sector[at + 6];
    return media && (flags & 0xC0) == 0x80 && (flags & 0x30) != 0;
}

std::size_t dsiOffset(std::span<const uint8_t> sector) {
    const std::size_t at = afterPackHeader(sector);
    if (at == 0 || !startCode(sector, at, kPrivateStream2Id) || at + 6 > sector.size()) return 0;
    const std::size_t dsi =
        at + 6 + (static_cast<std::size_t>(sector[at + 4]) << 8 | sector[at + 5]);
    if (dsi != DSI_START_BYTE - 7 || !startCode(sector, dsi, kPrivateStream2Id) ||
        sector.size() < kSectorBytes || sector[DSI_START_BYTE - 1] != kNavigationSubstream)
        return 0;
    return DSI_START_BYTE;
}

}  // namespace kavrel::dvdvideo
