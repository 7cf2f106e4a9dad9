#include "formats/wav_writer.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>

namespace kavrel::formats {

namespace {

constexpr std::size_t kJunkBytes = 28;  // the size of a ds64 chunk without a table
constexpr uint16_t kFormatPcm = 0x0001;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kUnknownSize = 0xFFFFFFFF;
// KSDATAFORMAT_SUBTYPE_PCM, as its GUID is stored.
constexpr std::array<uint8_t, 16> kSubtypePcm = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

class Bytes {
  public:
    explicit Bytes(std::vector<uint8_t>& out) : out_(out) {}
    void tag(const char (&text)[5]) { out_.insert(out_.end(), text, text + 4); }
    void le(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }

  private:
    std::vector<uint8_t>& out_;
};

std::size_t formatChunkBytes(const WavFormat& format) {
    return format.extensible() ? 40 : 16;
}

}  // namespace

uint32_t defaultChannelMask(int channels) {
    static constexpr std::array<uint32_t, 8> kMasks = {0x4,  0x3,  0xB,   0x107,
                                                       0x37, 0x3F, 0x70F, 0x63F};
    return channels >= 1 && channels <= 8 ? kMasks[static_cast<std::size_t>(channels - 1)] : 0;
}

WavWriter::WavWriter(ByteSink& sink, const WavFormat& format, uint64_t riffSizeLimit)
    : sink_(sink),
      format_(format),
      riffSizeLimit_(riffSizeLimit),
      headerBytes_(12 + 8 + kJunkBytes + 8 + formatChunkBytes(format) + 8) {}

void WavWriter::begin() {
    sink_.append(header(std::nullopt, false));
}

void WavWriter::append(std::span<const uint8_t> samples) {
    // Counted first: an append that fails may still have written part of the samples, which
    // finish then finds in the sink's size.
    dataBytes_ += samples.size();
    sink_.append(samples);
}

void WavWriter::finish() {
    if (finished_) return;
    finished_ = true;
    // After a failed append the file may hold less than was handed over: the header states
    // only the whole sample frames that are really there.
    const uint64_t held = sink_.size();
    uint64_t data = held > headerBytes_ ? std::min(dataBytes_, held - headerBytes_) : 0;
    data -= data % format_.blockAlign();
    // No byte after the data the header states: a partial frame is cut off.
    if (held > headerBytes_ + data) sink_.truncate(headerBytes_ + data);
    bool padded = false;
    std::exception_ptr failure;
    if (data == dataBytes_ && data % 2 != 0) {  // a RIFF chunk has an even size
        try {
            const uint8_t pad = 0;
            sink_.append(std::span(&pad, 1));
            padded = true;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    sink_.overwrite(0, header(data, padded));
    if (failure) std::rethrow_exception(failure);
}

std::vector<uint8_t> WavWriter::header(std::optional<uint64_t> data, bool padded) const {
    const uint64_t riffSize = data ? headerBytes_ - 8 + *data + (padded ? 1 : 0) : 0;
    const bool rf64 = data && riffSize > riffSizeLimit_;
    std::vector<uint8_t> out;
    out.reserve(headerBytes_);
    Bytes b(out);
    b.tag(rf64 ? "RF64" : "RIFF");
    b.le(data && !rf64 ? riffSize : kUnknownSize, 4);
    b.tag("WAVE");
    // Room for the 64-bit sizes, taken only by a file that needs them.
    b.tag(rf64 ? "ds64" : "JUNK");
    b.le(kJunkBytes, 4);
    if (rf64) {
        b.le(riffSize, 8);
        b.le(*data, 8);
        b.le(*data / format_.blockAlign(), 8);  // sample frames
        b.le(0, 4);                             // no table of other chunk sizes
    } else {
        out.resize(out.size() + kJunkBytes, 0);
    }
    const uint16_t containerBits = static_cast<uint16_t>(format_.containerBytes() * 8);
    b.tag("fmt ");
    b.le(formatChunkBytes(format_), 4);
    b.le(format_.extensible() ? kFormatExtensible : kFormatPcm, 2);
    b.le(format_.channels, 2);
    b.le(format_.sampleRate, 4);
    b.le(uint64_t{format_.sampleRate} * format_.blockAlign(), 4);  // bytes per second
    b.le(format_.blockAlign(), 2);
    b.le(containerBits, 2);
    if (format_.extensible()) {
        b.le(22, 2);  // the extension's size
        b.le(format_.validBits, 2);
        b.le(format_.channelMask, 4);
        out.insert(out.end(), kSubtypePcm.begin(), kSubtypePcm.end());
    }
    b.tag("data");
    b.le(data && !rf64 ? *data : kUnknownSize, 4);
    return out;
}

}  // namespace kavrel::formats
