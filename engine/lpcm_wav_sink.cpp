#include "engine/lpcm_wav_sink.h"

#include <utility>

#include "engine/io.h"
#include "engine/markup.h"

namespace kavrel {

namespace fs = std::filesystem;

fs::path group2Path(const fs::path& path) {
    fs::path name = path.stem();
    name += ".group2";
    name += path.extension();
    return path.parent_path() / name;
}

fs::path formatPartPath(const fs::path& path, int n) {
    fs::path name = path.stem();
    name += "-" + std::to_string(n);
    name += path.extension();
    return path.parent_path() / name;
}

LpcmWavSink::LpcmWavSink(const fs::path& path, bool dvdAudio, OutputOpener open,
                         uint64_t riffSizeLimit, EngineHost* host)
    : path_(path),
      dvdAudio_(dvdAudio),
      open_(std::move(open)),
      riffSizeLimit_(riffSizeLimit),
      host_(host) {
    outputs_[0] = open_(path_);
}

LpcmWavSink::~LpcmWavSink() = default;

void LpcmWavSink::packet(const PayloadRun& run) {
    if (!dvdAudio_) {
        if (run.packetStart) converting_ = takePacket(run.privateHeader);
        if (converting_) convert(run.bytes);
        return;
    }
    // A DVD-Audio packet is judged once it is whole: held until the next one starts.
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

// Whether the packet with this header is converted; the first with a format starts the WAV,
// one with another format the next WAV.
bool LpcmWavSink::takePacket(std::span<const uint8_t> header) {
    const bool started = dvdFormat_ || aobFormat_;
    if (dvdAudio_) {
        const auto format = formats::aobLpcmFormat(header);
        if (!format) return started;  // a damaged header: the format in use goes on
        if (started && *format != *aobFormat_) nextPart();
        if (!aobFormat_) {
            aobFormat_ = format;
            aob_.emplace(*format);
            start(aob_->outputCount());
        }
    } else {
        const auto format = formats::dvdLpcmFormat(header);
        if (!format) return started;
        if (started && *format != *dvdFormat_) nextPart();
        if (!dvdFormat_) {
            dvdFormat_ = format;
            dvd_.emplace(*format);
            start(1);
        }
    }
    return true;
}

// Closes the WAVs of the format in use and opens the first of the next format's.
void LpcmWavSink::nextPart() {
    closeOutputs();
    for (auto& output : outputs_) {
        if (output) closedBytes_ += output->written();
        output.reset();
    }
    for (auto& adapter : adapters_) adapter.reset();
    for (auto& writer : writers_) writer.reset();
    dvdFormat_.reset();
    aobFormat_.reset();
    dvd_.reset();
    aob_.reset();
    const fs::path path = formatPartPath(path_, ++part_);
    if (host_) host_->log("Creating " + markupLiteral(path.string()));
    outputs_[0] = open_(path);
}

void LpcmWavSink::start(std::size_t outputs) {
    if (outputs == 2)
        outputs_[1] = open_(group2Path(part_ == 1 ? path_ : formatPartPath(path_, part_)));
    for (std::size_t i = 0; i < outputs; ++i) {
        adapters_[i] = std::make_unique<WavBytes>(*outputs_[i]);
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
    std::string settleError;
    try {
        settlePacket();
    } catch (const std::exception& e) {
        settleError = e.what();
    }
    closeOutputs();
    if (!settleError.empty()) throw IoError(settleError);
    if (!dvdFormat_ && !aobFormat_) {
        // No format, no WAV: an empty file is not left behind.
        for (auto& output : outputs_)
            if (output) output->discard();
        throw IoError("Cannot write " + path_.string() +
                      ": no LPCM header of the stream gives a format a WAV can hold");
    }
}

// Every header is patched and every file closed, whatever fails first.
void LpcmWavSink::closeOutputs() {
    std::string firstError;
    auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            if (firstError.empty()) firstError = e.what();
        }
    };
    for (auto& writer : writers_)
        if (writer) attempt([&] { writer->finish(); });
    for (auto& output : outputs_)
        if (output) attempt([&] { output->close(); });
    if (!firstError.empty()) throw IoError(firstError);
}

uint64_t LpcmWavSink::written() const {
    uint64_t total = closedBytes_;
    for (const auto& output : outputs_)
        if (output) total += output->written();
    return total;
}

StreamDamage LpcmWavSink::damage() const {
    return {damaged_, "damaged packet replaced by silence", "damaged packets replaced by silence",
            soundPackets_ > 0};
}

}  // namespace kavrel
