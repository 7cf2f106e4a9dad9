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
    // A caption that starts before the one before it cannot be shown in order: it is skipped
    // with one log line.
    void unit(DecodedUnit&& unit, uint32_t pts);

    // Sends the last caption.
    void finish();

    uint64_t captions() const { return captions_; }

  private:
    CaptionHandler onCaption_;
    MessageLog log_;
    std::optional<Caption> pending_;
    std::optional<uint32_t> lastStart_;
    uint64_t captions_ = 0;
};

}  // namespace kavrel::formats
