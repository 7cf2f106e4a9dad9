#include "engine/pgs_sink.h"

#include <algorithm>
#include <utility>

#include "engine/subpicture_sink.h"
#include "formats/pgs_writer.h"
#include "formats/subpicture_stream.h"

namespace kavrel {

namespace {

uint16_t canvasSide(int side) {
    return static_cast<uint16_t>(std::clamp(side, 1, 0xFFFF));
}

class PgsSink : public SubpictureSink {
  public:
    PgsSink(std::unique_ptr<ByteOutput> output, const SinkContext& context, std::string streamName)
        : SubpictureSink(std::move(output), context, std::move(streamName)),
          writer_(
              canvasSide(context.videoFrame.width), canvasSide(context.videoFrame.height),
              [this](std::span<const uint8_t> set) { write(set); }, log_),
          stream_([this](formats::Caption&& caption) { writer_.caption(caption); }, log_) {
        if (context.title && context.title->palette)
            stream_.setDiscPalette(*context.title->palette);
    }

  private:
    void unit(std::span<const uint8_t> unit, uint32_t pts) override { stream_.unit(unit, pts); }
    // The last caption goes out (open-ended when nothing settled its end), so the file ends on
    // a whole display set.
    void flush() override { stream_.finish(); }
    uint64_t skipped() const override { return stream_.skipped(); }
    bool usable() const override { return stream_.captions() > 0; }

    formats::PgsWriter writer_;
    formats::SubpictureStream stream_;
};

}  // namespace

std::unique_ptr<StreamSink> makePgsSink(std::unique_ptr<ByteOutput> output,
                                        const SinkContext& context, std::string streamName) {
    return std::make_unique<PgsSink>(std::move(output), context, std::move(streamName));
}

}  // namespace kavrel
