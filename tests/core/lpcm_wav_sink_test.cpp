// The WAV sink of LPCM streams: the format taken from the packets' headers, what a damaged or
// changing header does, and the samples of the packets it takes. (A WAV per DVD-Audio channel
// group is checked end to end.)
#include "engine/lpcm_wav_sink.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/io.h"
#include "tests/support/test_support.h"
#include "tools/mkdisc/elementary.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class MemoryOutput : public ByteOutput {
  public:
    explicit MemoryOutput(Bytes& data) : data_(data) {}
    void write(const uint8_t* data, std::size_t size) override {
        data_.insert(data_.end(), data, data + size);
    }
    void overwrite(uint64_t offset, const uint8_t* data, std::size_t size) override {
        std::copy(data, data + size, data_.begin() + static_cast<long>(offset));
    }
    void close() override {}
    uint64_t written() const override { return data_.size(); }

  private:
    Bytes& data_;
};

// The outputs a sink opened, by file name.
struct Outputs {
    std::map<std::string, Bytes> files;
    OutputOpener opener() {
        return [this](const fs::path& path) {
            return std::make_unique<MemoryOutput>(files[path.filename().string()]);
        };
    }
};

using test::le32;

// What a WAV header says: rate, channels, valid bits, mask, data bytes (extensible layout).
struct WavFacts {
    uint32_t rate, channels, bits, mask, data;
    bool operator==(const WavFacts&) const = default;
};
WavFacts factsOf(const Bytes& wav) {
    return {le32(wav, 60), le32(wav, 56) >> 16, le32(wav, 72) >> 16, le32(wav, 76), le32(wav, 100)};
}

// Hands the stream to the sink as packets of `packetBytes`, each in two runs as a packet that
// straddles two chunks arrives; header(i) gives packet i's private header.
template <typename Header>
void feed(StreamSink& sink, const Bytes& stream, std::size_t packetBytes, Header&& header) {
    for (std::size_t at = 0, i = 0; at < stream.size(); at += packetBytes, ++i) {
        const Bytes h = header(i);
        const auto packet =
            std::span(stream).subspan(at, std::min(packetBytes, stream.size() - at));
        const std::size_t half = packet.size() / 3;
        sink.packet(PayloadRun{packet.first(half), true, false, 0, h});
        sink.packet(PayloadRun{packet.subspan(half), false, false, 0, h});
    }
}

Bytes lpcmStream(const mkdisc::LpcmFormat& format, uint64_t units) {
    Bytes stream;
    auto builder = mkdisc::makeLpcm(format);
    for (uint64_t unit = 0; unit < units; ++unit) builder->build(unit, stream);
    return stream;
}

TEST(LpcmWavSink, TheFirstFormatHoldsADamagedHeaderChangesNothingAnotherFormatStartsTheNextWav) {
    const Bytes stream = lpcmStream({{24, 0}, {48000, 0}, {6, 0}, -1}, 10);  // 6 × 800 frames
    const Bytes good = {0x05, 0x85, 0x80}, damaged = {0x05, 0xC5, 0x80}, other = {0x05, 0x01, 0x80};
    struct Case {
        std::vector<Bytes> headers;  // per packet of 3600 bytes, 200 frames
        std::size_t from;            // the first packet written
        uint32_t frames;
        bool fails;
        std::size_t files;  // a new format starts a new WAV
    };
    for (const Case& c : {Case{{damaged, good, damaged, good}, 1, 600, false, 1},
                          Case{{good, good, other, good}, 0, 400, false, 3},
                          Case{{damaged, damaged, damaged, damaged}, 0, 0, true, 1}}) {
        Outputs out;
        LpcmWavSink sink("LPCM.stream.00.wav", false, out.opener());
        sink.begin();
        feed(sink, stream, 3600, [&](std::size_t i) { return c.headers.at(i); });
        if (c.fails) {
            EXPECT_THROW(sink.finish(), IoError);
        } else {
            sink.finish();
        }
        EXPECT_EQ(out.files.size(), c.files);
        EXPECT_EQ(out.files.count("LPCM.stream.00-3.wav"), c.files == 3 ? 1u : 0u);
        const Bytes& wav = out.files["LPCM.stream.00.wav"];
        if (c.frames == 0) {
            EXPECT_TRUE(wav.empty());
            continue;
        }
        EXPECT_EQ(factsOf(wav), (WavFacts{48000, 6, 24, 0x3F, c.frames * 18}));
        ASSERT_EQ(wav.size(), 104 + c.frames * 18u);
        // The samples of the packets taken, converted as one run: no byte lost or doubled where
        // a packet is split.
        Bytes samples;
        formats::DvdLpcmToWav(*formats::dvdLpcmFormat(good))
            .convert(std::span(stream).subspan(3600 * c.from, c.frames * 18u), samples);
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), wav.begin() + 104));
    }
}

}  // namespace
}  // namespace kavrel
