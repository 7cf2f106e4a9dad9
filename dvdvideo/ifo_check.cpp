#include "dvdvideo/ifo_check.h"

#include <string_view>

#include "dvdvideo/vob_space.h"

namespace kavrel::dvdvideo {

namespace {

uint32_t be32(std::span<const uint8_t> b, std::size_t at) {
    return uint32_t{b[at]} << 24 | uint32_t{b[at + 1]} << 16 | uint32_t{b[at + 2]} << 8 | b[at + 3];
}

struct TablePointer {
    uint16_t offset;  // of the 32-bit sector number in the header
    bool sized;       // the table starts with two 16-bit fields and its 32-bit last_byte
};

// The sector numbers of the tables in the two headers.
constexpr TablePointer kVmgTables[] = {{0xC4, true},  {0xC8, true}, {0xCC, true}, {0xD0, true},
                                       {0xD4, false}, {0xD8, true}, {0xDC, false}};
constexpr TablePointer kVtsTables[] = {{0xC8, true}, {0xCC, true},  {0xD0, true}, {0xD4, true},
                                       {0xD8, true}, {0xDC, false}, {0xE0, true}, {0xE4, false}};
constexpr std::size_t kFirstPlayPgcOffset = 0x84;  // a byte offset, in VIDEO_TS.IFO
constexpr std::size_t kPgcHeaderBytes = 0xEC;

}  // namespace

std::string ifoDamage(std::span<const uint8_t> ifo, bool vmg) {
    const std::string_view id = vmg ? "DVDVIDEO-VMG" : "DVDVIDEO-VTS";
    if (ifo.size() < kSectorBytes ||
        std::string_view(reinterpret_cast<const char*>(ifo.data()), id.size()) != id)
        return "it does not begin with " + std::string(id);
    const uint64_t size = ifo.size();
    const std::span<const TablePointer> tables =
        vmg ? std::span<const TablePointer>(kVmgTables) : std::span<const TablePointer>(kVtsTables);
    for (const TablePointer& t : tables) {
        const uint64_t sector = be32(ifo, t.offset);
        if (sector == 0) continue;
        const uint64_t start = sector * kSectorBytes;
        if (start + kSectorBytes > size || (t.sized && start + be32(ifo, start + 4) + 1 > size))
            return "a table it names lies past its end";
    }
    if (vmg) {
        const uint64_t firstPlay = be32(ifo, kFirstPlayPgcOffset);
        if (firstPlay != 0 && firstPlay + kPgcHeaderBytes > size)
            return "its first-play program chain lies past its end";
    }
    return {};
}

}  // namespace kavrel::dvdvideo
