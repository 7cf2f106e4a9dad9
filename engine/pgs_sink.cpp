#include "engine/pgs_sink.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/host.h"
#include "engine/io.h"
#include "formats/pgs_writer.h"
#include "formats/subpicture_stream.h"
#include "formats/unit_assembler.h"

namespace kavrel {

namespace {

uint16_t canvasSide(int side) {
    return static_cast<uint16_t>(std::clamp(side, 1, 0xFFFF));
}

class PgsSink : public StreamSink {
  public:
    PgsSink(std::unique_ptr<ByteOutput> output, const SinkContext& context, std::string streamName)
        : output_(std::move(output)),
          minFirstPts_(context.minFirstPts),
          log_(streamLineLog(context.host, std::move(streamName))),
          writer_(
              canvasSide(context.videoFrame.width), canvasSide(context.videoFrame.height),
              [this](std::span<const uint8_t> set) { write(set); }, log_),
          stream_([this](formats::Caption&& caption) { writer_.caption(caption); }, log_),
          assembler_(
              [this](std::span<const uint8_t> unit, uint32_t pts) { stream_.unit(unit, pts); },
              log_) {
        if (context.title && context.title->palette)
            stream_.setDiscPalette(*context.title->palette);
    }

    void packet(const PayloadRun& run) override {
        std::optional<uint32_t> pts;
        if (run.packetStart && run.hasPts) pts = subpictureTime(run.pts, minFirstPts_);
        assembler_.payload(run.bytes, pts);
    }

    // A unit still incomplete is dropped; the last caption goes out (open-ended when nothing
    // settled its end), so the file ends on a whole display set.
    void finish() override {
        if (finished_) return;
        finished_ = true;
        if (!failed_) {
            assembler_.finish();
            stream_.finish();
        }
        output_->close();
    }

    uint64_t written() const override { return output_->written(); }

    StreamDamage damage() const override {
        return {assembler_.dropped() + stream_.skipped(), "damaged unit skipped",
                "damaged units skipped", stream_.captions() > 0};
    }

  private:
    // A display set that could not be written whole may have left part of itself: nothing is
    // written after it, so the file never holds a set behind a torn one.
    void write(std::span<const uint8_t> set) {
        if (failed_) return;
        try {
            output_->write(set.data(), set.size());
        } catch (const IoError&) {
            failed_ = true;
            throw;
        }
    }

    std::unique_ptr<ByteOutput> output_;
    uint32_t minFirstPts_;
    formats::MessageLog log_;
    formats::PgsWriter writer_;
    formats::SubpictureStream stream_;
    formats::UnitAssembler assembler_;
    bool failed_ = false;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<StreamSink> makePgsSink(std::unique_ptr<ByteOutput> output,
                                        const SinkContext& context, std::string streamName) {
    return std::make_unique<PgsSink>(std::move(output), context, std::move(streamName));
}

}  // namespace kavrel
