#pragma once
// Captions as a Blu-ray presentation graphics stream (.sup): segments "PG", PTS, DTS, type,
// size. Each caption is a display set at its start (composition, window, palette, object,
// end) and, unless the next caption replaces it, an empty display set at its end.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "formats/subpicture.h"

namespace kavrel::formats {

// The run-length coding of a presentation graphics object, line by line: a non-zero byte is one
// pixel of that colour; 00 introduces runs and colour 0; 00 00 ends a line.
std::vector<uint8_t> encodePgsRle(const Bitmap& bitmap);

class PgsWriter {
  public:
    using ByteSink = std::function<void(std::span<const uint8_t>)>;

    // width, height: the video frame the captions are placed on.
    PgsWriter(uint16_t width, uint16_t height, ByteSink out, MessageLog log);

    // Writes the caption's display sets, each handed to `out` whole. A caption that reaches
    // past the frame is cut to it (one log line for the stream); one wholly outside it is
    // skipped with one log line.
    void caption(const Caption& caption);

    uint64_t captions() const { return captions_; }

  private:
    void segment(uint8_t type, uint32_t pts, std::span<const uint8_t> body);
    void composition(uint32_t pts, bool withObject, bool forced, uint16_t x, uint16_t y);
    void window(uint32_t pts, uint16_t x, uint16_t y, uint16_t width, uint16_t height);
    void palette(uint32_t pts, const Palette& colours, const Bitmap& bitmap);
    void object(uint32_t pts, const Bitmap& bitmap);
    void flush();

    uint16_t width_;
    uint16_t height_;
    ByteSink out_;
    MessageLog log_;
    std::vector<uint8_t> set_;  // the display set being written
    std::vector<uint8_t> body_;
    uint16_t compositionNumber_ = 0;
    bool cutNoted_ = false;
    uint64_t captions_ = 0;
};

}  // namespace kavrel::formats
