#pragma once
// The units of a subpicture .sup file: a chain of entries "SP", the unit's time (32 bits, least
// significant byte first, 90 kHz), four zero bytes, then one whole unit whose size field leads
// to the next entry.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/subpicture.h"

namespace kavrel::formats {

struct SupEntry {
    uint32_t pts = 0;
    std::span<const uint8_t> unit;
    std::size_t offset = 0;  // of the unit in the file
};

class SupReader {
  public:
    SupReader(std::span<const uint8_t> file, MessageLog log);

    // The next whole unit, or nullopt at the end of the file. Damaged stretches (no entry
    // header where one belongs, a size that is wrong or runs past the end) are passed over up
    // to the next entry header, with one log line each. A unit that follows the one before
    // without a header of its own (its packet had no time stamp) takes the time before.
    std::optional<SupEntry> next();

    uint64_t damaged() const { return damaged_; }

  private:
    bool entryHeaderAt(std::size_t at) const;
    std::size_t nextEntryHeader(std::size_t from) const;
    void skipDamage(std::size_t at, std::size_t searchFrom, const char* what);

    std::span<const uint8_t> file_;
    MessageLog log_;
    std::size_t position_ = 0;
    bool chained_ = false;  // position_ is the end of a whole unit
    uint32_t lastPts_ = 0;
    bool headerlessNoted_ = false;
    uint64_t damaged_ = 0;
};

}  // namespace kavrel::formats
