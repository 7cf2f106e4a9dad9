// MPEG audio (PES stream ids 0xC0-0xCF) as streams of their own: the frame header analyser, a
// DVD made by ffmpeg with AC-3 and MP2 read, demuxed and rebuilt against ffmpeg and ffprobe, and
// MPEG audio 0xC0 beside the Dolby Digital Plus sub-stream 0xC0.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "analysers/mpeg_audio.h"
#include "engine/runs.h"
#include "rebuild/rebuild.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;
using analysers::findMpegAudioHeader;

Bytes withHeaderAt(std::size_t size, std::initializer_list<std::pair<std::size_t, Bytes>> at) {
    Bytes bytes(size, 0);
    for (const auto& [offset, header] : at) std::copy(header.begin(), header.end(), &bytes[offset]);
    return bytes;
}

TEST(MpegAudio, FrameHeaders) {
    const Bytes layer2 = {0xFF, 0xFD, 0xE4, 0xC0};  // MPEG-1 layer II, 384 kbit/s, 48 kHz, mono
    struct Case {
        const char* name;
        Bytes payload;
        std::optional<std::size_t> syncAt;  // none: no header found
        std::string codec, format;
        uint32_t sampleRate = 0, bitRate = 0, frameSize = 0;
        int channels = 0;
    };
    const Case cases[] = {
        {"MPEG-1 layer II", layer2, 0, "mp2", "MPEG-1 Audio Layer II", 48000, 384000, 1152, 1},
        {"MPEG-2 layer III, padded",
         {0xFF, 0xF3, 0x82, 0x40},
         0,
         "mp3",
         "MPEG-2 Audio Layer III",
         22050,
         64000,
         209,
         2},
        {"MPEG-1 layer I with CRC",
         {0xFF, 0xFE, 0xE0, 0x00},
         0,
         "mp1",
         "MPEG-1 Audio Layer I",
         44100,
         448000,
         484,
         2},
        {"MPEG-2.5 layer III",
         {0xFF, 0xE3, 0x18, 0xC0},
         0,
         "mp3",
         "MPEG-2.5 Audio Layer III",
         8000,
         8000,
         72,
         1},
        {"reserved version", {0xFF, 0xED, 0xE4, 0xC0}, std::nullopt, "", ""},
        {"reserved layer", {0xFF, 0xF9, 0xE4, 0xC0}, std::nullopt, "", ""},
        {"forbidden bit rate", {0xFF, 0xFD, 0xF4, 0xC0}, std::nullopt, "", ""},
        {"reserved sampling rate", {0xFF, 0xFD, 0xEC, 0xC0}, std::nullopt, "", ""},
        {"cut header", {0xFF, 0xFD, 0xE4}, std::nullopt, "", ""},
        // A sync-like header whose frame end holds no next header is passed over.
        {"false sync before a frame",
         withHeaderAt(7 + 1152 + 4, {{0, {0xFF, 0xFE, 0xE0, 0x00}}, {7, layer2}, {1159, layer2}}),
         7, "mp2", "MPEG-1 Audio Layer II", 48000, 384000, 1152, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto header = findMpegAudioHeader(c.payload);
        ASSERT_EQ(header.has_value(), c.syncAt.has_value());
        if (!header) continue;
        EXPECT_EQ(header->syncAt, *c.syncAt);
        const analysers::StreamFacts facts = analysers::mpegAudioFacts(*header);
        EXPECT_EQ(facts.codecName, c.codec);
        EXPECT_EQ(facts.format, c.format);
        EXPECT_EQ(facts.sampleRate, c.sampleRate);
        EXPECT_EQ(facts.bitRate, c.bitRate);
        EXPECT_EQ(facts.frameSize, c.frameSize);
        EXPECT_EQ(facts.channels, c.channels);
    }
}

// MPEG audio 0xC0 and Dolby Digital Plus 0xC0 (a private stream 1 sub-stream) are two streams:
// two numbers, two outputs, two rebuild decisions.
TEST(MpegAudio, DolbyDigitalPlusOfTheSameByteStaysApart) {
    const Bytes ddPlus = Pes(kPrivateStream1Id)
                             .pts(9000)
                             .subHeader(audioSubHeader(0xC0))
                             .payload(Bytes(64, 0xDD))
                             .packet();
    const Bytes mpeg = Pes(0xC0).pts(9000).payload(Bytes(64, 0x11)).packet();
    PsBuilder ps;
    for (int i = 0; i < 2; ++i) ps.pack({ddPlus}).pack({mpeg});

    ScanRun read;
    read.run(ps.bytes(), ScanMode::Read);
    EXPECT_TRUE(read.host.hasLine("Dolby Digital Plus audio stream 0 found!"));
    EXPECT_TRUE(read.host.hasLine("MPEG audio stream 1 found!"));
    const StreamInfo& mpa = read.state.streams[read.state.streams.find(IdSpace::StreamId, 0xC0)];
    EXPECT_EQ(mpa.caption, "MPA.stream.01");
    EXPECT_EQ(read.state.streams[read.state.streams.find(IdSpace::Private1, 0xC0)].caption,
              "DD+.stream.00");

    ScanRun demux;
    demux.state.streams = read.state.streams;
    demux.selectAll();
    demux.run(ps.bytes(), ScanMode::Demux);
    EXPECT_EQ(demux.slots.data(audioSlot(0)), Bytes(2 * 64, 0xDD));
    EXPECT_EQ(demux.slots.data(audioSlot(1)), Bytes(2 * 64, 0x11));

    read.state.keepStreamLists();
    for (int kept : {0, 1}) {
        std::array<bool, kSlotCount> checked{};
        checked[static_cast<std::size_t>(audioSlot(kept))] = true;
        Renumbering renumbering;
        Bytes dd = PsBuilder().pack({ddPlus}).bytes();
        Bytes mp = PsBuilder().pack({mpeg}).bytes();
        EXPECT_EQ(filterPack(dd.data(), dd.size(), read.state.lists, checked, renumbering),
                  kept == 0);
        EXPECT_EQ(filterPack(mp.data(), mp.size(), read.state.lists, checked, renumbering),
                  kept == 1);
    }
}

class MpegAudioVob : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!haveTool("ffmpeg") || !haveTool("ffprobe")) return;
        dir_ = new fs::path(tempDir("mpa"));
        vob_ = *dir_ / "VTS_01_1.VOB";
        const auto result = runCommand(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=2"
            " -f lavfi -i sine=frequency=440:duration=2:sample_rate=48000"
            " -f lavfi -i sine=frequency=660:duration=2:sample_rate=48000"
            " -map 0:v -map 1:a -map 2:a -c:v mpeg2video -c:a:0 ac3 -c:a:1 mp2 -f dvd " +
            shellQuote(vob_.string()));
        if (result.exitCode != 0) vob_.clear();
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
        ASSERT_FALSE(vob_.empty());
    }

    // Reads the VOB and checks the found streams of the given slots.
    static void read(RunState& state, RunOptions& options, const std::set<int>& slots) {
        RecordingHost host;
        ASSERT_EQ(readRun(vob_, state, options, host), RunOutcome::Done) << host.text();
        const auto captions = offeredCaptions(state);
        for (int slot = 0; slot < kSlotCount; ++slot)
            options.scan.checked[static_cast<std::size_t>(slot)] =
                !captions[static_cast<std::size_t>(slot)].empty() && slots.count(slot);
    }

    static Bytes ffmpegCopy(const fs::path& input, const std::string& map,
                            const std::string& format) {
        const fs::path out = tempDir("copy") / "stream";
        const auto result =
            runCommand("ffmpeg -v error -y -i " + shellQuote(input.string()) + " -map " + map +
                       " -c copy -f " + format + " " + shellQuote(out.string()));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readFile(out);
    }

    // The audio streams ffprobe finds, as "codec id".
    static std::set<std::string> probeAudio(const fs::path& file) {
        const auto result = runCommand(
            "ffprobe -v error -select_streams a -show_entries stream=codec_name,id -of csv=p=0 " +
            shellQuote(file.string()));
        std::set<std::string> streams;
        std::istringstream lines(result.out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) streams.insert(line);
        return streams;
    }

    static inline fs::path* dir_ = nullptr;
    static inline fs::path vob_;
};

TEST_F(MpegAudioVob, ReadOffersBothAndDemuxEqualsFfmpegsCopies) {
    RunState state;
    RunOptions options;
    options.workdir = tempDir("demux");
    read(state, options, {videoSlot(0), audioSlot(0), audioSlot(1)});
    const auto captions = offeredCaptions(state);
    EXPECT_EQ(captions[audioSlot(0)], "DD.stream.00");
    EXPECT_EQ(captions[audioSlot(1)], "MPA.stream.01");

    // Its facts are ffprobe's.
    const StreamInfo& mpa = state.streams[state.streams.find(IdSpace::StreamId, 0xC0)];
    const auto probe = runCommand(
        "ffprobe -v error -select_streams a:1 -show_entries "
        "stream=codec_name,sample_rate,channels,bit_rate -of csv=p=0 " +
        shellQuote(vob_.string()));
    EXPECT_EQ(probe.out, mpa.facts.codecName + "," + std::to_string(*mpa.facts.sampleRate) + "," +
                             std::to_string(*mpa.facts.channels) + "," +
                             std::to_string(*mpa.facts.bitRate) + "\n");

    RecordingHost host;
    ASSERT_EQ(demuxRun(vob_, state, options, captions, host), RunOutcome::Done) << host.text();
    const fs::path prefix = options.workdir / "VTS_01_1.";
    EXPECT_TRUE(readFile(prefix.string() + "DD.stream.00.mpa") == ffmpegCopy(vob_, "0:a:0", "ac3"));
    EXPECT_TRUE(readFile(prefix.string() + "MPA.stream.01.mpa") ==
                ffmpegCopy(vob_, "0:a:1", "mp2"));
}

TEST_F(MpegAudioVob, RebuildKeepsOnlyTheCheckedAudio) {
    struct Case {
        int slot;
        std::set<std::string> audio;
    };
    for (const Case& c : {Case{audioSlot(0), {"ac3,0x80"}}, Case{audioSlot(1), {"mp2,0x1c0"}}}) {
        SCOPED_TRACE(c.slot);
        RunState state;
        RunOptions options;
        options.workdir = tempDir("rebuild");
        read(state, options, {videoSlot(0), c.slot});
        RecordingHost host;
        ASSERT_EQ(rebuildRun(vob_, state, options, host), RunOutcome::Done) << host.text();
        const fs::path out = rebuildOutputPath(vob_, options);
        EXPECT_EQ(probeAudio(out), c.audio);
        const std::string format = c.slot == audioSlot(0) ? "ac3" : "mp2";
        EXPECT_TRUE(ffmpegCopy(out, "0:a:0", format) ==
                    ffmpegCopy(vob_, "0:a:" + std::to_string(c.slot - audioSlot(0)), format));
    }
}

}  // namespace
}  // namespace kavrel::test
