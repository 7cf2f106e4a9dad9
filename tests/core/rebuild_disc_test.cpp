// Rebuilds of real program streams: the generated HD DVD feature (FEATURE_1 + FEATURE_2) and a
// DVD-Video VOB made by ffmpeg. Kept streams must come out byte-identical when demuxed, by our
// own demux run and by ffmpeg, and dropped streams must be gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "engine/names.h"
#include "engine/runs.h"
#include "rebuild/rebuild.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::RecordingHost;

constexpr std::size_t kPack = 2048;

// Reads input (and its follow-on file) and checks the found streams of the given slots (all
// found streams when slots is empty), as a user would before a second run. Returns the captions.
std::array<std::string, kSlotCount> readAndCheck(const fs::path& input, RunState& state,
                                                 RunOptions& options, RecordingHost& host,
                                                 const std::set<int>& slots = {}) {
    EXPECT_EQ(readRun(input, state, options, host), RunOutcome::Done) << host.text();
    const auto captions = offeredCaptions(state);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        options.scan.checked[s] = !captions[s].empty() && (slots.empty() || slots.count(slot));
    }
    return captions;
}

// Rebuilds input into dir keeping the found streams of the given slots (all found streams when
// slots is empty). Returns the output.
fs::path rebuild(const fs::path& input, const fs::path& dir, const std::set<int>& slots = {}) {
    RunState state;
    RunOptions options;
    options.workdir = dir;
    RecordingHost host;
    readAndCheck(input, state, options, host, slots);
    EXPECT_EQ(rebuildRun(input, state, options, host), RunOutcome::Done) << host.text();
    return rebuildOutputPath(input, options);
}

// Every stream of input demuxed by our demux run, by caption label without its number
// ("DTSHD.stream"), and the stream lists its read run found.
struct Demuxed {
    std::map<std::string, Bytes> byLabel;
    StreamLists lists;
};

Demuxed demuxAll(const fs::path& input, const fs::path& dir) {
    RunState state;
    RunOptions options;
    options.workdir = dir;
    RecordingHost host;
    const auto captions = readAndCheck(input, state, options, host);
    EXPECT_EQ(demuxRun(input, state, options, captions, host), RunOutcome::Done) << host.text();
    Demuxed result;
    result.lists = state.lists;
    const std::string prefix = runBaseName(input, getsecond(input));
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::string& caption = captions[static_cast<std::size_t>(slot)];
        if (caption.empty()) continue;
        const std::string& ext = slot < audioSlot(0) ? options.videoExt
                                 : slot < subSlot(0) ? options.audioExt
                                                     : options.subExt;
        const std::string label = caption.substr(0, caption.rfind('.'));
        EXPECT_FALSE(result.byLabel.count(label)) << "one stream per label in these tests";
        result.byLabel[label] = test::readFile(dir / (prefix + "." + caption + "." + ext));
    }
    return result;
}

Bytes concat(const fs::path& a, const fs::path& b) {
    Bytes all = test::readFile(a);
    const Bytes second = test::readFile(b);
    all.insert(all.end(), second.begin(), second.end());
    return all;
}

// With every stream kept the output is the input pack for pack; a pack may differ only in
// its stream's identifier, or in the two bound bytes of a system header.
void expectSameButRenumbered(const Bytes& in, const Bytes& out) {
    ASSERT_EQ(in.size(), out.size());
    for (std::size_t at = 0; at < in.size(); at += kPack) {
        std::vector<std::size_t> diffs;
        for (std::size_t i = at; i < std::min(at + kPack, in.size()); ++i)
            if (in[i] != out[i]) diffs.push_back(i - at);
        if (diffs.empty()) continue;
        if (in[at + 17] == 0xBB) {
            for (std::size_t d : diffs) EXPECT_TRUE(d == 23 || d == 24) << "pack at " << at;
        } else {
            EXPECT_EQ(diffs.size(), 1u) << "pack at " << at;
        }
    }
}

// The streams ffprobe finds, in its order: codec name and MPEG stream id ("ac3", "0x80").
std::vector<std::pair<std::string, std::string>> probeList(const fs::path& file) {
    auto result =
        test::runCommand("ffprobe -v error -show_entries stream=codec_name,id -of csv=p=0 " +
                         test::shellQuote(file.string()));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::pair<std::string, std::string>> streams;
    std::istringstream lines(result.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto comma = line.find(',');
        if (comma == std::string::npos) continue;
        std::string id = line.substr(comma + 1);
        id.erase(std::remove(id.begin(), id.end(), ','), id.end());
        streams.emplace_back(line.substr(0, comma), id);
    }
    return streams;
}

// "codec id" for the streams ffprobe finds, navigation data left out.
std::multiset<std::string> probe(const fs::path& file) {
    std::multiset<std::string> streams;
    for (const auto& [codec, id] : probeList(file))
        if (codec != "dvd_nav_packet") streams.insert(codec + id);
    return streams;
}

// A stream copied out by ffmpeg, picked by its MPEG stream id ("0x1e0", "0x82").
Bytes ffmpegExtract(const fs::path& file, const std::string& id, const std::string& format,
                    const fs::path& out) {
    auto result = test::runCommand("ffmpeg -v error -y -i " + test::shellQuote(file.string()) +
                                   " -map 0:i:" + id + " -c copy -f " + format + " " +
                                   test::shellQuote(out.string()));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return test::readFile(out);
}

TEST(RebuildDisc, EveryStreamKeptGivesTheFeatureBackPackForPack) {
    const auto& disc = test::sampleDisc();
    const fs::path dir = test::tempDir("all");
    const fs::path out = rebuild(disc.feature1, dir);
    EXPECT_EQ(out.filename(), "FEATURE_1_FEATURE_2.rebuilt.EVO");
    expectSameButRenumbered(concat(disc.feature1, disc.feature2), test::readFile(out));

    const Demuxed before = demuxAll(disc.feature1, test::tempDir("in"));
    const Demuxed after = demuxAll(out, test::tempDir("out"));
    ASSERT_FALSE(before.byLabel.empty());
    for (const auto& [label, bytes] : before.byLabel) {
        ASSERT_TRUE(after.byLabel.count(label)) << label;
        EXPECT_TRUE(after.byLabel.at(label) == bytes) << label;
    }
}

TEST(RebuildDisc, ChosenStreamsAreKeptRenumberedAndIdentical) {
    const auto& disc = test::sampleDisc();
    const Demuxed before = demuxAll(disc.feature1, test::tempDir("in"));
    // The sample feature: VC-1, DD+ 0xC0, DTS 0x89, LPCM 0xA2, TrueHD 0xB3, AC-3 0x84,
    // subpicture 0x20 and extended subpicture 0x61. Keep the video, DTS, AC-3 and 0x61.
    ASSERT_EQ(before.lists.audio[1], 0x89);
    ASSERT_EQ(before.lists.audio[4], 0x84);
    ASSERT_EQ(before.lists.sub[1], 0x61);
    const fs::path dir = test::tempDir("subset");
    const fs::path out =
        rebuild(disc.feature1, dir, {videoSlot(0), audioSlot(1), audioSlot(4), subSlot(1)});

    const Demuxed after = demuxAll(out, test::tempDir("out"));
    std::set<std::string> labels;
    for (const auto& [label, bytes] : after.byLabel) {
        labels.insert(label);
        ASSERT_TRUE(before.byLabel.count(label)) << label;
        EXPECT_TRUE(before.byLabel.at(label) == bytes) << label;
    }
    EXPECT_EQ(labels, (std::set<std::string>{"VC-1.stream", "DTSHD.stream", "DD.stream",
                                             "Ext.Subpicture"}));

    // Dense per kind in order of first appearance, the audio counter shared by all formats.
    std::set<int32_t> audioIds;
    for (int32_t id : after.lists.audio)
        if (id >= 0) audioIds.insert(id);
    EXPECT_TRUE(audioIds == (std::set<int32_t>{0x88, 0x81}) ||
                audioIds == (std::set<int32_t>{0x89, 0x80}));
    EXPECT_EQ(after.lists.video[0], 0x55);
    EXPECT_EQ(after.lists.sub[0], 0x60);

    // The system headers announce what is left.
    const Bytes written = test::readFile(out);
    int headers = 0;
    for (std::size_t at = 0; at + kPack <= written.size(); at += kPack) {
        if (written[at + 17] != 0xBB) continue;
        ++headers;
        EXPECT_EQ(written[at + 23] >> 2, 2) << "audio_bound";
        EXPECT_EQ(written[at + 24] & 0x1F, 1) << "video_bound";
    }
    EXPECT_GT(headers, 0);

    if (test::haveTool("ffprobe")) {
        std::set<std::string> codecs;
        for (const std::string& s : probe(out)) codecs.insert(s.substr(0, s.find("0x")));
        EXPECT_EQ(codecs, (std::set<std::string>{"vc1", "dts", "ac3"}));
    }
}

TEST(RebuildDisc, CommandLineWritesTheSameFileAndReportsBadSelections) {
    const auto& disc = test::sampleDisc();
    const fs::path inProcess =
        rebuild(disc.feature1, test::tempDir("run"), {videoSlot(0), audioSlot(1), subSlot(0)});
    const fs::path dir = test::tempDir("cli");
    const std::string cli = std::string(KAVREL_CLI_PATH) + " rebuild ";
    const std::string input = test::shellQuote(disc.feature1.string());
    auto result =
        test::runCommand(cli + "-q -s v0,a1,s0 -o " + test::shellQuote(dir.string()) + " " + input);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(test::readFile(dir / "FEATURE_1_FEATURE_2.rebuilt.EVO") ==
                test::readFile(inProcess));

    result = test::runCommand(cli + "-q --no-continue -o " + test::shellQuote(dir.string()) + " " +
                              input);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(test::readFile(dir / "FEATURE_1.rebuilt.EVO").size(), fs::file_size(disc.feature1));

    result = test::runCommand(cli + "-q -s a9 -o " + test::shellQuote(dir.string()) + " " + input);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("no stream a9"), std::string::npos) << result.err;
    EXPECT_EQ(test::runCommand(cli + "-q").exitCode, 2);
}

// A DVD-Video VOB from ffmpeg: MPEG-2 video, three AC-3 streams (0x80-0x82) and LPCM (0xA0).
class RebuildVob : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!test::haveTool("ffmpeg") || !test::haveTool("ffprobe")) return;
        dir_ = new fs::path(test::tempDir("vob"));
        vob_ = new fs::path(*dir_ / "VTS_01_1.VOB");
        auto result = test::runCommand(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=3"
            " -f lavfi -i sine=frequency=440:duration=3 -f lavfi -i sine=frequency=550:duration=3"
            " -f lavfi -i sine=frequency=660:duration=3 -f lavfi -i sine=frequency=770:duration=3"
            " -map 0 -map 1 -map 2 -map 3 -map 4 -c:v mpeg2video -b:v 1500k"
            " -c:a:0 ac3 -c:a:1 ac3 -c:a:2 ac3 -c:a:3 pcm_s16be -b:a 192k -f dvd " +
            test::shellQuote(vob_->string()));
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    void SetUp() override {
        if (!vob_) GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    }
    static inline fs::path* dir_ = nullptr;
    static inline fs::path* vob_ = nullptr;
};

TEST_F(RebuildVob, EveryStreamKeptIsTheVobRenumbered) {
    const fs::path out = rebuild(*vob_, test::tempDir("all"));
    const Bytes in = test::readFile(*vob_);
    expectSameButRenumbered(in, test::readFile(out));

    // The same streams in the same order; LPCM takes the next audio number after the AC-3s.
    const auto before = probeList(*vob_);
    const auto after = probeList(out);
    ASSERT_EQ(before.size(), after.size());
    const fs::path tmp = test::tempDir("x");
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::string& codec = before[i].first;
        EXPECT_EQ(after[i].first, codec);
        if (codec == "dvd_nav_packet") continue;
        const std::string format = codec == "pcm_dvd" ? "s16be" : codec;
        EXPECT_TRUE(ffmpegExtract(*vob_, before[i].second, format, tmp / "a") ==
                    ffmpegExtract(out, after[i].second, format, tmp / "b"))
            << codec << " " << before[i].second;
    }
    EXPECT_EQ(after.back(), (std::pair<std::string, std::string>{"pcm_dvd", "0xa3"}));
}

TEST_F(RebuildVob, ChosenStreamsAreWhatFfmpegFindsAndCopiesOut) {
    // LPCM 0xA0 would be audio 0 by its id, as 0x80 is: it is offered as audio 3, and dropped
    // when that is not chosen.
    const auto kept = probe(rebuild(*vob_, test::tempDir("two"), {videoSlot(0), audioSlot(2)}));
    EXPECT_EQ(kept, (std::multiset<std::string>{"mpeg2video0x1e0", "ac30x80"}));

    // Keep the video, the third AC-3 stream and the LPCM.
    const fs::path out =
        rebuild(*vob_, test::tempDir("subset"), {videoSlot(0), audioSlot(2), audioSlot(3)});
    const auto streams = probe(out);
    ASSERT_EQ(streams.size(), 3u) << testing::PrintToString(streams);
    EXPECT_EQ(streams.count("mpeg2video0x1e0"), 1u);
    const bool ac3First = streams.count("ac30x80") == 1 && streams.count("pcm_dvd0xa1") == 1;
    const bool pcmFirst = streams.count("ac30x81") == 1 && streams.count("pcm_dvd0xa0") == 1;
    EXPECT_TRUE(ac3First || pcmFirst) << testing::PrintToString(streams);

    const fs::path tmp = test::tempDir("x");
    EXPECT_TRUE(ffmpegExtract(*vob_, "0x1e0", "mpeg2video", tmp / "v1") ==
                ffmpegExtract(out, "0x1e0", "mpeg2video", tmp / "v2"));
    EXPECT_TRUE(ffmpegExtract(*vob_, "0x82", "ac3", tmp / "a1") ==
                ffmpegExtract(out, ac3First ? "0x80" : "0x81", "ac3", tmp / "a2"));
    EXPECT_TRUE(ffmpegExtract(*vob_, "0xa0", "s16be", tmp / "p1") ==
                ffmpegExtract(out, ac3First ? "0xa1" : "0xa0", "s16be", tmp / "p2"));
}

}  // namespace
}  // namespace kavrel
