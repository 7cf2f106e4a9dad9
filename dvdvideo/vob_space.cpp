#include "dvdvideo/vob_space.h"

#include <fstream>

namespace kavrel::dvdvideo {

bool VobSpace::appendRanges(uint64_t first, uint64_t last, std::vector<ByteRange>& out) const {
    if (first > last || last >= total_) return false;
    uint64_t base = 0;  // the first sector of the piece
    for (const VobPiece& piece : pieces_) {
        const uint64_t end = base + piece.sectors;  // one past its last sector
        if (first < end && last >= base) {
            const uint64_t from = std::max(first, base) - base;
            const uint64_t to = std::min(last + 1, end) - base;
            ByteRange range{piece.file, piece.offset + from * kSectorBytes,
                            (to - from) * kSectorBytes};
            if (!out.empty() && out.back().file == range.file &&
                out.back().offset + out.back().length == range.offset)
                out.back().length += range.length;
            else
                out.push_back(std::move(range));
        }
        base = end;
    }
    return true;
}

std::optional<std::vector<uint8_t>> VobSpace::readSector(uint64_t sector) const {
    std::vector<ByteRange> ranges;
    if (!appendRanges(sector, sector, ranges)) return std::nullopt;
    std::ifstream in(ranges.front().file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(ranges.front().offset));
    std::vector<uint8_t> bytes(kSectorBytes);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return std::nullopt;
    return bytes;
}

}  // namespace kavrel::dvdvideo
