#include "formats/sup_file.h"

#include <string>

#include "formats/subpicture_unit.h"

namespace kavrel::formats {

namespace {
constexpr std::size_t kEntryHeader = 10;
}

SupReader::SupReader(std::span<const uint8_t> file, MessageLog log)
    : file_(file), log_(std::move(log)) {}

bool SupReader::entryHeaderAt(std::size_t at) const {
    return at + kEntryHeader <= file_.size() && file_[at] == 'S' && file_[at + 1] == 'P' &&
           file_[at + 6] == 0 && file_[at + 7] == 0 && file_[at + 8] == 0 && file_[at + 9] == 0;
}

std::size_t SupReader::nextEntryHeader(std::size_t from) const {
    for (std::size_t at = from; at + kEntryHeader <= file_.size(); ++at)
        if (entryHeaderAt(at)) return at;
    return file_.size();
}

void SupReader::skipDamage(std::size_t at, std::size_t searchFrom, const char* what) {
    const std::size_t resume = nextEntryHeader(searchFrom);
    ++damaged_;
    if (log_)
        log_("Subpicture file damaged at byte " + std::to_string(at) + ": " + what + "; " +
             std::to_string(resume - at) + " bytes passed over.");
    position_ = resume;
    chained_ = false;
}

std::optional<SupEntry> SupReader::next() {
    while (position_ < file_.size()) {
        const std::size_t entry = position_;
        SupEntry out;
        if (entryHeaderAt(entry)) {
            const uint8_t* t = file_.data() + entry + 2;
            out.pts =
                uint32_t{t[0]} | uint32_t{t[1]} << 8 | uint32_t{t[2]} << 16 | uint32_t{t[3]} << 24;
            out.offset = entry + kEntryHeader;
        } else if (chained_) {
            out.pts = lastPts_;
            out.offset = entry;
        } else {
            skipDamage(entry, entry, "no entry header");
            continue;
        }

        const std::span<const uint8_t> rest = file_.subspan(out.offset);
        const bool sizeKnown =
            rest.size() >= 2 && rest.size() >= unitSizeFieldEnd(rest[0], rest[1]);
        const uint32_t size = sizeKnown ? declaredUnitSize(rest) : 0;
        if (size == 0 || size > rest.size()) {
            // Where a unit was expected to follow its predecessor, the bytes are damage.
            const char* what = !sizeKnown || size > rest.size() ? "a unit is cut short"
                                                                : "a unit has a wrong size";
            // Past this entry's own header, which would otherwise be found again.
            skipDamage(entry, out.offset == entry ? entry : entry + 1, what);
            continue;
        }
        if (out.offset == entry && !headerlessNoted_) {
            headerlessNoted_ = true;
            if (log_)
                log_(
                    "Subpicture units without an entry header of their own take the time of "
                    "the unit before.");
        }
        out.unit = rest.first(size);
        position_ = out.offset + size;
        chained_ = true;
        lastPts_ = out.pts;
        return out;
    }
    return std::nullopt;
}

}  // namespace kavrel::formats
