#pragma once
// The whole unit-to-caption path of one subpicture stream: each unit is decoded (damaged ones
// skipped with a log line) and put on the stream's time line.
#include <cstdint>
#include <span>

#include "formats/caption_timeline.h"
#include "formats/subpicture_unit.h"

namespace kavrel::formats {

class SubpictureStream {
  public:
    SubpictureStream(CaptionTimeline::CaptionHandler onCaption, MessageLog log)
        : decoder_(log), timeline_(std::move(onCaption), log) {}

    void unit(std::span<const uint8_t> unit, uint32_t pts) {
        if (auto decoded = decoder_.decode(unit, pts)) timeline_.unit(std::move(*decoded), pts);
    }
    void finish() { timeline_.finish(); }
    void setDiscPalette(const std::array<uint32_t, 16>& rgb) { decoder_.setDiscPalette(rgb); }

    const SubpictureDecoder& decoder() const { return decoder_; }
    uint64_t captions() const { return timeline_.captions(); }
    // Units skipped: damaged, or out of place on the time line.
    uint64_t skipped() const { return decoder_.skipped() + timeline_.skipped(); }

  private:
    SubpictureDecoder decoder_;
    CaptionTimeline timeline_;
};

}  // namespace kavrel::formats
