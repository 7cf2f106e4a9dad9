#include "engine/sinks.h"

#include <optional>
#include <string>
#include <utility>

#include "engine/io.h"
#include "engine/lpcm_wav_sink.h"
#include "engine/output_forms.h"
#include "engine/pgs_sink.h"
#include "engine/stream_ids.h"
#include "engine/vobsub_sink.h"

namespace kavrel {

namespace fs = std::filesystem;

namespace {

class FileOutput : public ByteOutput {
  public:
    explicit FileOutput(const fs::path& path) : file_(path) {}
    void write(const uint8_t* data, std::size_t size) override { file_.write(data, size); }
    void close() override { file_.close(); }
    uint64_t written() const override { return file_.written(); }
    void overwrite(uint64_t offset, const uint8_t* data, std::size_t size) override {
        file_.writeAt(offset, data, size);
    }
    uint64_t held() override { return file_.lengthOnDisk(); }
    void truncate(uint64_t size) override { file_.truncate(size); }
    void discard() override {
        try {
            file_.close();
        } catch (const IoError&) {
            // It goes all the same.
        }
        std::error_code ignored;
        fs::remove(file_.path(), ignored);
    }

  private:
    OutputFile file_;
};

// The payload as it comes: an elementary stream.
class RawSink : public StreamSink {
  public:
    explicit RawSink(std::unique_ptr<ByteOutput> output) : output_(std::move(output)) {}
    void packet(const PayloadRun& run) override {
        // Where the audio of a packet whose header ran past it starts is not known.
        if (run.damagedHeader) {
            damaged_ += run.packetStart;
            return;
        }
        output_->write(run.bytes.data(), run.bytes.size());
    }
    void finish() override { output_->close(); }
    uint64_t written() const override { return output_->written(); }
    StreamDamage damage() const override {
        return {damaged_, "damaged packet skipped", "damaged packets skipped", written() > 0};
    }

  protected:
    ByteOutput& output() { return *output_; }

  private:
    std::unique_ptr<ByteOutput> output_;
    uint64_t damaged_ = 0;
};

// Each subpicture packet that carries a PTS starts an entry: "SP", its time relative to the
// earliest first PTS of the read run (least significant byte first), four zero bytes. The
// packets that continue a unit carry no PTS and add their payload to the entry.
class SubpictureSink : public RawSink {
  public:
    SubpictureSink(std::unique_ptr<ByteOutput> output, uint32_t minFirstPts)
        : RawSink(std::move(output)), minFirstPts_(minFirstPts) {}

    void packet(const PayloadRun& run) override {
        if (run.packetStart && run.hasPts) {
            const uint32_t time = subpictureTime(run.pts, minFirstPts_);
            const uint8_t entry[10] = {'S',
                                       'P',
                                       static_cast<uint8_t>(time),
                                       static_cast<uint8_t>(time >> 8),
                                       static_cast<uint8_t>(time >> 16),
                                       static_cast<uint8_t>(time >> 24),
                                       0,
                                       0,
                                       0,
                                       0};
            output().write(entry, sizeof entry);
        }
        RawSink::packet(run);
    }

  private:
    uint32_t minFirstPts_;
};

}  // namespace

void ByteOutput::overwrite(uint64_t, const uint8_t*, std::size_t) {
    throw IoError("Cannot patch an output that is written only in sequence");
}

void ByteOutput::truncate(uint64_t) {
    throw IoError("Cannot cut an output that is written only in sequence");
}

std::string outputExtension(StreamKind kind, int32_t streamKey, const RunOptions& options,
                            bool aob) {
    if (const OutputForm* form = chosenForm(kind, streamKey, options, aob); form && form->extension)
        return form->extension;
    switch (kind) {
        case StreamKind::Video:
            return options.videoExt;
        case StreamKind::Audio:
            return options.audioExt;
        case StreamKind::Subpicture:
            break;
    }
    return options.subExt;
}

fs::path outputPath(const fs::path& prefix, std::string_view caption, std::string_view extension) {
    fs::path path = prefix;
    path += "." + std::string(caption) + "." + std::string(extension);
    return path;
}

std::unique_ptr<ByteOutput> openOutputFile(const fs::path& path) {
    return std::make_unique<FileOutput>(path);
}

SinkContext sinkContext(const RunState& state, InputKind kind, EngineHost* host) {
    SinkContext context;
    context.host = host;
    context.minFirstPts = state.minFirstPts;
    if (state.videoFrame.width > 0 && state.videoFrame.height > 0)
        context.videoFrame = state.videoFrame;
    context.aob = kind == InputKind::Aob;
    return context;
}

std::unique_ptr<StreamSink> makeSink(const SinkRequest& request, const RunOptions& options,
                                     const SinkContext& context, const OutputOpener& open) {
    if (const OutputForm* form = chosenForm(request.kind, request.streamKey, options, context.aob))
        return form->make(request, context, open);
    std::unique_ptr<ByteOutput> output = open(request.path);
    if (request.kind == StreamKind::Subpicture)
        return std::make_unique<SubpictureSink>(std::move(output), context.minFirstPts);
    return std::make_unique<RawSink>(std::move(output));
}

RunSinks::~RunSinks() {
    state_.sinks.fill(nullptr);
    for (auto& sink : sinks_) {
        if (!sink) continue;
        try {
            sink->finish();
        } catch (const IoError&) {
            // The run is already failing: its first error is the one reported.
        }
    }
}

void RunSinks::add(int slot, std::unique_ptr<StreamSink> sink, fs::path path) {
    auto s = static_cast<std::size_t>(slot);
    sinks_.at(s) = std::move(sink);
    paths_[s] = std::move(path);
    added_.push_back(slot);
    sinks_[s]->begin();
    state_.sinks[s] = sinks_[s].get();
}

std::vector<OutputWritten> RunSinks::outputs() const {
    std::vector<OutputWritten> outputs;
    for (int slot : added_) {
        const auto s = static_cast<std::size_t>(slot);
        // An output removed because it held nothing (a WAV that never got a format) is no output.
        std::error_code ec;
        if (!std::filesystem::exists(paths_[s], ec)) continue;
        outputs.push_back({paths_[s], sinks_[s] ? sinks_[s]->written() : finishedBytes_[s], slot});
    }
    return outputs;
}

void RunSinks::finishAll() {
    state_.sinks.fill(nullptr);
    std::string firstError;
    for (auto& sink : sinks_) {
        if (!sink) continue;
        try {
            sink->finish();
        } catch (const IoError& e) {
            if (firstError.empty()) firstError = e.what();
        }
        finishedBytes_[static_cast<std::size_t>(&sink - sinks_.data())] = sink->written();
        damage_[static_cast<std::size_t>(&sink - sinks_.data())] = sink->damage();
        sink.reset();
    }
    if (!firstError.empty()) throw IoError(firstError);
}

std::vector<StreamProblem> RunSinks::problems() const {
    std::vector<StreamProblem> problems;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const StreamDamage damage = sinks_[s] ? sinks_[s]->damage() : damage_[s];
        if (damage.count == 0) continue;
        const std::string stream = slot < audioSlot(0) ? "Video stream " + std::to_string(slot)
                                   : slot < subSlot(0)
                                       ? "Audio stream " + std::to_string(slot - audioSlot(0))
                                       : "Subpicture stream " + std::to_string(slot - subSlot(0));
        problems.push_back(
            {stream, damage.count, damage.count == 1 ? damage.one : damage.many, damage.usable});
    }
    return problems;
}

}  // namespace kavrel
