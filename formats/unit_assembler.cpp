#include "formats/unit_assembler.h"

#include <algorithm>
#include <string>

#include "formats/subpicture_unit.h"

namespace kavrel::formats {

UnitAssembler::UnitAssembler(UnitHandler onUnit, MessageLog log)
    : onUnit_(std::move(onUnit)), log_(std::move(log)) {}

void UnitAssembler::drop(const char* why) {
    ++dropped_;
    if (log_)
        log_("Subpicture unit at " + formatTicks(pts_.value_or(0)) + " skipped: " + why + ".");
    unit_.clear();
    size_ = 0;
}

void UnitAssembler::payload(std::span<const uint8_t> bytes, std::optional<uint32_t> packetPts) {
    if (packetPts) {
        // Some multiplexers stamp every packet of a unit with the unit's time; another time
        // means a new unit.
        if (!unit_.empty() && packetPts != pts_) drop("it is cut short");
        if (unit_.empty()) pts_ = packetPts;
        discarding_ = false;
    }
    if (!pts_ || discarding_) return;
    while (!bytes.empty()) {
        if (size_ == 0) {
            // Gather the bytes that say the unit's size: 2, or 6 when the first two are zero.
            std::size_t need = 2;
            if (unit_.size() >= 2) need = unitSizeFieldEnd(unit_[0], unit_[1]);
            const std::size_t take = std::min(bytes.size(), need - std::min(need, unit_.size()));
            unit_.insert(unit_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
            bytes = bytes.subspan(take);
            if (unit_.size() < 2 || unit_.size() < unitSizeFieldEnd(unit_[0], unit_[1])) continue;
            size_ = declaredUnitSize(unit_);
            if (size_ == 0) {
                drop("its size field is wrong");
                discarding_ = true;
                return;
            }
            continue;
        }
        const std::size_t take = std::min<std::size_t>(bytes.size(), size_ - unit_.size());
        unit_.insert(unit_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
        bytes = bytes.subspan(take);
        if (unit_.size() == size_) {
            onUnit_(unit_, *pts_);
            unit_.clear();
            size_ = 0;
        }
    }
}

void UnitAssembler::finish() {
    if (!unit_.empty()) drop("the stream ends inside it");
}

}  // namespace kavrel::formats
