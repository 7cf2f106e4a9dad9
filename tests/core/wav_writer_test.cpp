// The WAV writer: the header as ffprobe reads it, the samples as ffmpeg decodes them, the file
// as mkvmerge takes it, RF64 past the size limit, and the sizes that a failed or abandoned file
// states.
#include "formats/wav_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

#include "tests/support/test_support.h"

namespace kavrel::formats {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Keeps the bytes in memory; refuses appends past `limit` bytes as a full disk does, keeping the
// part of the failed append that fitted.
class MemorySink : public ByteSink {
  public:
    void append(std::span<const uint8_t> bytes) override {
        const std::size_t room = limit > data.size() ? limit - data.size() : 0;
        data.insert(data.end(), bytes.begin(), bytes.begin() + std::min(room, bytes.size()));
        if (room < bytes.size()) throw std::runtime_error("disk full");
    }
    void overwrite(uint64_t offset, std::span<const uint8_t> bytes) override {
        if (offset + bytes.size() > data.size()) throw std::runtime_error("past the end");
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<long>(offset));
    }
    uint64_t size() override { return data.size(); }
    void truncate(uint64_t size) override { data.resize(size); }

    Bytes data;
    std::size_t limit = SIZE_MAX;
};

using test::le32;
uint64_t le64(const Bytes& b, std::size_t at) {
    return le32(b, at) | uint64_t{le32(b, at + 4)} << 32;
}
std::string tag(const Bytes& b, std::size_t at) {
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4);
}

Bytes ramp(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return b;
}

Bytes written(const WavFormat& format, const Bytes& samples, uint64_t limit, bool finish = true) {
    MemorySink sink;
    WavWriter writer(sink, format, limit);
    writer.begin();
    writer.append(samples);
    if (finish) writer.finish();
    return sink.data;
}

fs::path saved(const Bytes& bytes) {
    const fs::path path = test::tempDir("wav") / "out.wav";
    test::writeFile(path, bytes);
    return path;
}

// ffprobe's view of the file's first audio stream and its container, key=value.
std::map<std::string, std::string> probe(const fs::path& file) {
    return test::probeFields(file, "stream=sample_rate,channels,channel_layout");
}

// mkvmerge takes the file as one PCM audio track.
void expectMkvmergeTakes(const fs::path& wav) {
    const auto result = test::runCommand("mkvmerge -J " + test::quoted(wav));
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("\"recognized\": true"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"codec\": \"PCM\""), std::string::npos) << result.out;
}

// mediainfo's view: the general format and profile, and the audio's bit depth.
std::string mediainfo(const fs::path& file, const std::string& inform) {
    return test::runCommand("mediainfo --Inform=" + test::shellQuote(inform) + " " +
                            test::shellQuote(file.string()))
        .out;
}

class WavPeers : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"ffmpeg", "ffprobe", "mediainfo", "mkvmerge"})
            if (!test::haveTool(tool)) GTEST_SKIP() << tool << " is missing";
    }
};

TEST(WavHeader, PlainPcmByteForByte) {
    const Bytes file = written(WavFormat{44100, 2, 16, 0x3}, ramp(8), WavWriter::kRiffSizeLimit);
    const Bytes header = {'R',  'I',  'F', 'F', 80,   0,    0,   0,   'W', 'A', 'V', 'E',  //
                          'J',  'U',  'N', 'K', 28,   0,    0,   0,   0,   0,   0,   0,
                          0,    0,    0,   0,   0,    0,    0,   0,   0,   0,   0,   0,  //
                          0,    0,    0,   0,   0,    0,    0,   0,   0,   0,   0,   0,  //
                          'f',  'm',  't', ' ', 16,   0,    0,   0,   1,   0,   2,   0,
                          0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,  //
                          4,    0,    16,  0,   'd',  'a',  't', 'a', 8,   0,   0,   0};
    ASSERT_EQ(file.size(), header.size() + 8);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
}

TEST_F(WavPeers, FfprobeReadsTheFormatAndFfmpegTheSamples) {
    struct Case {
        WavFormat format;
        std::string layout;  // of an extensible file, which states its speakers
    };
    for (const Case& c : {Case{{44100, 2, 16, 0x3}, "stereo"}, Case{{48000, 1, 16, 0x4}, "mono"},
                          Case{{96000, 6, 24, 0x3F}, "5.1"}, Case{{48000, 2, 20, 0x3}, "stereo"},
                          Case{{192000, 5, 16, 0x37}, "5.0"}, Case{{88200, 8, 24, 0x63F}, "7.1"}}) {
        SCOPED_TRACE(c.layout + " " + std::to_string(c.format.validBits));
        const Bytes samples = ramp(c.format.blockAlign() * std::size_t{301});
        const fs::path file = saved(written(c.format, samples, WavWriter::kRiffSizeLimit));
        auto fields = probe(file);
        EXPECT_EQ(fields["sample_rate"], std::to_string(c.format.sampleRate));
        EXPECT_EQ(fields["channels"], std::to_string(c.format.channels));
        if (c.format.extensible()) {
            EXPECT_EQ(fields["channel_layout"], c.layout);
        }
        EXPECT_EQ(mediainfo(file, "Audio;%BitDepth%"), std::to_string(c.format.validBits) + "\n");
        EXPECT_TRUE(test::ffmpegDecode(file, c.format.validBits > 16 ? "s24le" : "s16le") ==
                    samples);
        expectMkvmergeTakes(file);
    }
}

TEST_F(WavPeers, Rf64PastTheLimitStatesItsSizesInDs64) {
    const WavFormat format{48000, 3, 24, 0xB};  // 9-byte frames: the data needs a pad byte
    const Bytes samples = ramp(9 * 111);
    const Bytes riff = written(format, samples, 104 - 8 + samples.size() + 1);
    EXPECT_EQ(tag(riff, 0), "RIFF");
    EXPECT_EQ(tag(riff, 12), "JUNK");

    const Bytes rf64 = written(format, samples, 104 - 8 + samples.size());
    ASSERT_EQ(rf64.size(), 104 + samples.size() + 1);
    EXPECT_EQ(tag(rf64, 0), "RF64");
    EXPECT_EQ(le32(rf64, 4), 0xFFFFFFFFu);
    EXPECT_EQ(tag(rf64, 12), "ds64");
    EXPECT_EQ(le32(rf64, 16), 28u);
    EXPECT_EQ(le64(rf64, 20), rf64.size() - 8);  // RIFF size
    EXPECT_EQ(le64(rf64, 28), samples.size());   // data size
    EXPECT_EQ(le64(rf64, 36), 111u);             // sample frames
    EXPECT_EQ(tag(rf64, 96), "data");
    EXPECT_EQ(le32(rf64, 100), 0xFFFFFFFFu);

    const fs::path file = saved(rf64);
    EXPECT_EQ(mediainfo(file, "General;%Format%/%Format_Profile%"), "Wave/RF64\n");
    EXPECT_TRUE(test::ffmpegDecode(file, "s24le") == samples);
}

TEST_F(WavPeers, AFileLeftUnfinishedReadsToItsEnd) {
    // A process that dies before finish leaves the provisional header.
    const Bytes samples = ramp(4 * 1000);
    const Bytes file =
        written(WavFormat{48000, 2, 16, 0x3}, samples, WavWriter::kRiffSizeLimit, false);
    EXPECT_TRUE(test::ffmpegDecode(saved(file), "s16le") == samples);
}

TEST(WavHeader, AFailedWriteStatesTheWholeFramesTheFileHolds) {
    const WavFormat format{48000, 6, 24, 0x3F};  // 18-byte frames, 104-byte header
    MemorySink sink;
    sink.limit = 104 + 18 * 50 + 5;  // the disk fills inside frame 51
    WavWriter writer(sink, format);
    writer.begin();
    EXPECT_THROW(writer.append(ramp(18 * 100)), std::runtime_error);
    writer.finish();
    EXPECT_EQ(le32(sink.data, 100), 18u * 50);
    EXPECT_EQ(le32(sink.data, 4), 96u + 18 * 50);
    EXPECT_EQ(sink.data.size(), 104u + 18 * 50);  // the part of frame 51 is cut off

    // The pad byte after odd data does not fit: the header still says what is there, and the
    // failure is reported.
    MemorySink full;
    full.limit = 104 + 9;  // header and three mono 24-bit frames
    WavWriter mono(full, WavFormat{48000, 1, 24, 0x4});
    mono.begin();
    mono.append(ramp(9));
    EXPECT_THROW(mono.finish(), std::runtime_error);
    EXPECT_EQ(le32(full.data, 100), 9u);
    EXPECT_EQ(le32(full.data, 4), 96u + 9);
}

}  // namespace
}  // namespace kavrel::formats
