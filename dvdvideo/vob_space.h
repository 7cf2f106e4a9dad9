#pragma once
// The sector space of a title set's title VOBs (VTS_nn_1.VOB … VTS_nn_9.VOB joined), in which
// the IFO's cells give their sectors, as pieces of files: the VOB files of a folder, or the
// places of those files inside an ISO image.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/disc_title.h"

namespace kavrel::dvdvideo {

inline constexpr uint64_t kSectorBytes = 2048;

struct VobPiece {
    std::filesystem::path file;  // the VOB, or the image holding it
    uint64_t offset = 0;         // of the piece's first byte in `file`
    uint64_t sectors = 0;
};

class VobSpace {
  public:
    void add(VobPiece piece) {
        total_ += piece.sectors;
        pieces_.push_back(std::move(piece));
    }
    uint64_t sectors() const { return total_; }
    bool empty() const { return pieces_.empty(); }

    // Sectors first..last (inclusive) as byte ranges, appended to `out` (joined with the last
    // range where they follow on in one file); false, appending nothing, when they reach past
    // the end of the space.
    bool appendRanges(uint64_t first, uint64_t last, std::vector<ByteRange>& out) const;

    // One sector's 2048 bytes; none where the space or the file ends before it.
    std::optional<std::vector<uint8_t>> readSector(uint64_t sector) const;

  private:
    std::vector<VobPiece> pieces_;
    uint64_t total_ = 0;
};

}  // namespace kavrel::dvdvideo
