#include "engine/vobsub_sink.h"

#include <utility>

#include "engine/disc_title.h"
#include "engine/subpicture_sink.h"
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

class VobsubSink : public SubpictureSink {
  public:
    VobsubSink(std::unique_ptr<ByteOutput> sub, std::unique_ptr<ByteOutput> idx,
               const SinkContext& context, int32_t streamKey, std::string streamName)
        : SubpictureSink(std::move(sub), context, std::move(streamName)),
          idx_(std::move(idx)),
          header_(headerFor(context, streamKey)),
          writer_([this](std::span<const uint8_t> pack) { write(pack); }) {}

  private:
    void unit(std::span<const uint8_t> unit, uint32_t pts) override { writer_.unit(unit, pts); }
    bool usable() const override { return writer_.units() > 0; }
    // The index names only the units the .sub holds whole, so both files agree after a failed
    // write too.
    void closed() override {
        const std::string text = writer_.index(header_);
        idx_->write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        idx_->close();
    }

    std::unique_ptr<ByteOutput> idx_;
    formats::VobsubHeader header_;
    formats::VobsubWriter writer_;
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
