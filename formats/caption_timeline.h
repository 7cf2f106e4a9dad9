#pragma once
// Puts the decoded units of one stream on its time line: each unit that starts a display gives
// a caption from PTS + start delay to PTS + stop delay. A caption without a stop of its own
// ends where the next unit starts or stops a display; one whose stop lies after the next
// caption's start ends there, replaced by it.
#include <cstdint>
#include <functional>
#include <optional>

#include "formats/subpicture.h"

namespace kavrel::formats {

class CaptionTimeline {
  public:
    using CaptionHandler = std::function<void(Caption&&)>;

    CaptionTimeline(CaptionHandler onCaption, MessageLog log);

    // A decoded unit and its PTS. A caption goes out once the next unit has settled its end.
    // A caption that starts before the one before it cannot be shown in order: either it or
    // the one before has a damaged time, and the unit after tells which. When that unit comes
    // after the one before, this one is skipped; when it comes after this one only, the one
    // before is. Either is skipped with one log line.
    void unit(DecodedUnit&& unit, uint32_t pts);

    // Sends the last caption (a unit still held as out of order is skipped).
    void finish();

    uint64_t captions() const { return captions_; }
    uint64_t skipped() const { return skipped_; }

  private:
    struct Held {
        DecodedUnit unit;
        uint32_t pts = 0;
        uint32_t start = 0;
    };
    void place(DecodedUnit&& unit, uint32_t pts);
    void skipHeld();

    CaptionHandler onCaption_;
    MessageLog log_;
    std::optional<Caption> pending_;
    std::optional<uint32_t> lastStart_;
    std::optional<uint32_t> sentStart_;  // of the last caption sent
    std::optional<Held> held_;           // out of order with the caption in hand
    uint64_t captions_ = 0;
    uint64_t skipped_ = 0;
};

}  // namespace kavrel::formats
