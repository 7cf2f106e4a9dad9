#include "engine/subpicture_sink.h"

#include <optional>
#include <utility>

#include "engine/host.h"
#include "engine/io.h"

namespace kavrel {

SubpictureSink::SubpictureSink(std::unique_ptr<ByteOutput> output, const SinkContext& context,
                               std::string streamName)
    : log_(streamLineLog(context.host, std::move(streamName))),
      output_(std::move(output)),
      minFirstPts_(context.minFirstPts),
      assembler_([this](std::span<const uint8_t> whole, uint32_t pts) { unit(whole, pts); }, log_) {
}

void SubpictureSink::packet(const PayloadRun& run) {
    std::optional<uint32_t> pts;
    if (run.packetStart && run.hasPts) pts = subpictureTime(run.pts, minFirstPts_);
    assembler_.payload(run.bytes, pts);
}

// A unit still incomplete is dropped; after a failed write nothing more is written.
void SubpictureSink::finish() {
    if (finished_) return;
    finished_ = true;
    if (!failed_) {
        assembler_.finish();
        flush();
    }
    output_->close();
    closed();
}

StreamDamage SubpictureSink::damage() const {
    return {assembler_.dropped() + skipped(), "damaged unit skipped", "damaged units skipped",
            usable()};
}

void SubpictureSink::write(std::span<const uint8_t> bytes) {
    if (failed_) throw IoError("the subtitle file could not be written");
    try {
        output_->write(bytes.data(), bytes.size());
    } catch (const IoError&) {
        failed_ = true;
        throw;
    }
}

}  // namespace kavrel
