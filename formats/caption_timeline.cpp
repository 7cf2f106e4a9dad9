#include "formats/caption_timeline.h"

#include <algorithm>

namespace kavrel::formats {

CaptionTimeline::CaptionTimeline(CaptionHandler onCaption, MessageLog log)
    : onCaption_(std::move(onCaption)), log_(std::move(log)) {}

void CaptionTimeline::unit(DecodedUnit&& unit, uint32_t pts) {
    std::optional<uint32_t> start;
    if (unit.start) start = pts + *unit.start;
    if (!start || !lastStart_ || *start > *lastStart_) {
        if (start && held_) skipHeld();  // the caption in hand is in its place
        place(std::move(unit), pts);
        return;
    }
    if (held_ && *start > held_->start && pending_ && (!sentStart_ || held_->start > *sentStart_)) {
        // Two units in order with each other and with the captions sent, both before the
        // caption in hand: its time is the damaged one.
        ++skipped_;
        if (log_)
            log_("Subpicture at " + formatTicks(pending_->start) +
                 " skipped: its time is far from its neighbours'.");
        pending_.reset();
        Held held = std::move(*held_);
        held_.reset();
        place(std::move(held.unit), held.pts);
        place(std::move(unit), pts);
        return;
    }
    if (held_) skipHeld();
    held_ = Held{std::move(unit), pts, *start};
}

void CaptionTimeline::skipHeld() {
    ++skipped_;
    if (log_)
        log_("Subpicture at " + formatTicks(held_->start) +
             " skipped: it does not come after the one before.");
    held_.reset();
}

void CaptionTimeline::place(DecodedUnit&& unit, uint32_t pts) {
    std::optional<uint32_t> start, stop;
    if (unit.start) start = pts + *unit.start;
    if (unit.stop) stop = pts + *unit.stop;

    // The first moment this unit changes the screen ends the caption before, unless that has
    // ended already.
    const std::optional<uint32_t> change = start ? start : stop;
    if (pending_ && change && *change > pending_->start &&
        (!pending_->end || *change <= *pending_->end)) {
        pending_->end = change;
        pending_->replacedByNext = start.has_value();
    }
    if (!start) return;

    if (pending_) {
        ++captions_;
        sentStart_ = pending_->start;
        onCaption_(std::move(*pending_));
        pending_.reset();
    }
    Caption c;
    c.start = *start;
    if (stop && *stop > *start) c.end = stop;
    c.forced = unit.forced;
    c.form = unit.form;
    c.bitmap = std::move(unit.bitmap);
    c.palette = unit.palette;
    pending_ = std::move(c);
    lastStart_ = start;
}

void CaptionTimeline::finish() {
    if (held_) skipHeld();
    if (!pending_) return;
    ++captions_;
    onCaption_(std::move(*pending_));
    pending_.reset();
}

}  // namespace kavrel::formats
