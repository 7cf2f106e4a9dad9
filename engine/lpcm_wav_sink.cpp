#include "engine/lpcm_wav_sink.h"

#include <utility>

#include "engine/io.h"

namespace kavrel {

namespace fs = std::filesystem;

// The WAV writer's view of an output.
class LpcmWavSink::Adapter : public formats::ByteSink {
  public:
    explicit Adapter(ByteOutput& output) : output_(output) {}
    void append(std::span<const uint8_t> bytes) override {
        output_.write(bytes.data(), bytes.size());
    }
    void overwrite(uint64_t offset, std::span<const uint8_t> bytes) override {
        output_.overwrite(offset, bytes.data(), bytes.size());
    }
    uint64_t size() override { return output_.held(); }
    void truncate(uint64_t size) override { output_.truncate(size); }

  private:
    ByteOutput& output_;
};

fs::path group2Path(const fs::path& path) {
    fs::path name = path.stem();
    name += ".group2";
    name += path.extension();
    return path.parent_path() / name;
}

LpcmWavSink::LpcmWavSink(const fs::path& path, bool dvdAudio, OutputOpener open,
                         uint64_t riffSizeLimit)
    : path_(path), dvdAudio_(dvdAudio), open_(std::move(open)), riffSizeLimit_(riffSizeLimit) {
    outputs_[0] = open_(path_);
}

LpcmWavSink::~LpcmWavSink() = default;

void LpcmWavSink::packet(const PayloadRun& run) {
    if (!dvdAudio_) {
        if (run.packetStart) converting_ = takePacket(run.privateHeader);
        if (converting_) convert(run.bytes);
        return;
    }
    if (run.packetStart) {
        settlePacket();
        converting_ = takePacket(run.privateHeader);
        heldHeader_.assign(run.privateHeader.begin(), run.privateHeader.end());
        heldHeaderLost_ = run.damagedHeader;
        heldBytes_.clear();
    }
    if (converting_) heldBytes_.insert(heldBytes_.end(), run.bytes.begin(), run.bytes.end());
}

void LpcmWavSink::settlePacket() {
    if (!converting_ || !aob_) return;
    converting_ = false;
    samples_[0].clear();
    samples_[1].clear();
    if (aob_->packet(heldHeader_, heldBytes_, heldHeaderLost_, samples_))
        ++soundPackets_;
    else
        ++damaged_;
    write();
}

// Whether the packet with this header is converted; the first with a format starts the WAV.
bool LpcmWavSink::takePacket(std::span<const uint8_t> header) {
    if (formatChanged_) return false;
    const bool started = dvdFormat_ || aobFormat_;
    if (dvdAudio_) {
        const auto format = formats::aobLpcmFormat(header);
        if (!format) return started;  // a damaged header: the format in use goes on
        if (!started) {
            aobFormat_ = format;
            aob_.emplace(*format);
            start(aob_->outputCount());
        }
        formatChanged_ = *format != *aobFormat_;
    } else {
        const auto format = formats::dvdLpcmFormat(header);
        if (!format) return started;
        if (!started) {
            dvdFormat_ = format;
            dvd_.emplace(*format);
            start(1);
        }
        formatChanged_ = *format != *dvdFormat_;
    }
    return !formatChanged_;
}

void LpcmWavSink::start(std::size_t outputs) {
    if (outputs == 2) outputs_[1] = open_(group2Path(path_));
    for (std::size_t i = 0; i < outputs; ++i) {
        adapters_[i] = std::make_unique<Adapter>(*outputs_[i]);
        writers_[i].emplace(*adapters_[i], dvd_ ? dvd_->wav() : aob_->wav(i), riffSizeLimit_);
        writers_[i]->begin();
    }
}

void LpcmWavSink::convert(std::span<const uint8_t> bytes) {
    samples_[0].clear();
    samples_[1].clear();
    if (dvd_)
        dvd_->convert(bytes, samples_[0]);
    else
        aob_->convert(bytes, samples_);
    write();
}

void LpcmWavSink::write() {
    for (std::size_t i = 0; i < 2; ++i)
        if (writers_[i] && !samples_[i].empty()) writers_[i]->append(samples_[i]);
}

void LpcmWavSink::finish() {
    if (finished_) return;
    finished_ = true;
    // Every header is patched and every file closed, whatever fails first.
    std::string firstError;
    auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (firstError.empty()) firstError = e.what();
        }
    };
    attempt([&] { settlePacket(); });
    for (auto& writer : writers_)
        if (writer) attempt([&] { writer->finish(); });
    for (auto& output : outputs_)
        if (output) attempt([&] { output->close(); });
    if (!firstError.empty()) throw IoError(firstError);
    if (!dvdFormat_ && !aobFormat_) {
        // No format, no WAV: an empty file is not left behind.
        for (auto& output : outputs_)
            if (output) output->discard();
        throw IoError("Cannot write " + path_.string() +
                      ": no LPCM header of the stream gives a format a WAV can hold");
    }
    if (formatChanged_)
        throw IoError("Cannot write all of " + path_.string() +
                      ": the LPCM format changes within the stream; the WAV holds the audio "
                      "before the change");
}

uint64_t LpcmWavSink::written() const {
    uint64_t total = 0;
    for (const auto& output : outputs_)
        if (output) total += output->written();
    return total;
}

StreamDamage LpcmWavSink::damage() const {
    return {damaged_, "damaged packet replaced by silence", "damaged packets replaced by silence",
            soundPackets_ > 0};
}

}  // namespace kavrel
