#include "engine/vobsub_sink.h"

#include <utility>

#include "engine/disc_title.h"
#include "engine/host.h"
#include "engine/io.h"
#include "formats/unit_assembler.h"
#include "formats/vobsub_writer.h"

namespace kavrel {

namespace {

// Pixel values by role where the disc's colours are unknown: background, pattern, emphases.
constexpr std::array<uint32_t, 16> kGreyPalette = {0x000000, 0xFFFFFF, 0x000000, 0x808080};

formats::VobsubHeader headerFor(const SinkContext& context, int32_t streamKey) {
    formats::VobsubHeader header;
    header.width = context.videoFrame.width;
    header.height = context.videoFrame.height;
    header.palette = kGreyPalette;
    const DiscTitle* title = context.title;
    if (!title) return header;
    if (title->width > 0 && title->height > 0) {
        header.width = title->width;
        header.height = title->height;
    }
    if (title->palette) header.palette = *title->palette;
    for (const TitleTrack& track : title->tracks)
        if (track.kind == StreamKind::Subpicture && track.key == streamKey)
            header.language = track.language;
    return header;
}

class VobsubSink : public StreamSink {
  public:
    VobsubSink(std::unique_ptr<ByteOutput> sub, std::unique_ptr<ByteOutput> idx,
               const SinkContext& context, int32_t streamKey, std::string streamName)
        : sub_(std::move(sub)),
          idx_(std::move(idx)),
          header_(headerFor(context, streamKey)),
          minFirstPts_(context.minFirstPts),
          log_(streamLineLog(context.host, std::move(streamName))),
          writer_([this](std::span<const uint8_t> pack) { write(pack); }),
          assembler_(
              [this](std::span<const uint8_t> unit, uint32_t pts) { writer_.unit(unit, pts); },
              log_) {}

    void packet(const PayloadRun& run) override {
        std::optional<uint32_t> pts;
        if (run.packetStart && run.hasPts) pts = subpictureTime(run.pts, minFirstPts_);
        assembler_.payload(run.bytes, pts);
    }

    // The index names only the units the .sub holds whole, so both files agree after a
    // failed write too.
    void finish() override {
        if (finished_) return;
        finished_ = true;
        if (!failed_) assembler_.finish();
        sub_->close();
        const std::string text = writer_.index(header_);
        idx_->write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        idx_->close();
    }

    uint64_t written() const override { return sub_->written(); }

  private:
    // After a failed write nothing more goes to the .sub: its index names the whole units.
    void write(std::span<const uint8_t> pack) {
        if (failed_) throw IoError("the subtitle file could not be written");
        try {
            sub_->write(pack.data(), pack.size());
        } catch (const IoError&) {
            failed_ = true;
            throw;
        }
    }

    std::unique_ptr<ByteOutput> sub_;
    std::unique_ptr<ByteOutput> idx_;
    formats::VobsubHeader header_;
    uint32_t minFirstPts_;
    formats::MessageLog log_;
    formats::VobsubWriter writer_;
    formats::UnitAssembler assembler_;
    bool failed_ = false;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<StreamSink> makeVobsubSink(std::unique_ptr<ByteOutput> sub,
                                           std::unique_ptr<ByteOutput> idx,
                                           const SinkContext& context, int32_t streamKey,
                                           std::string streamName) {
    return std::make_unique<VobsubSink>(std::move(sub), std::move(idx), context, streamKey,
                                        std::move(streamName));
}

}  // namespace kavrel
