// Demux runs with LPCM as WAV, end to end: the WAV files of DVD-Video LPCM that ffmpeg writes
// and of the DVD-Audio titles of the sample disc, as ffprobe reads them.
#include <gtest/gtest.h>

#include <map>

#include "engine/runs.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using test::runCommand;
using test::shellQuote;

bool havePeers() {
    return test::haveTool("ffmpeg") && test::haveTool("ffprobe");
}

// Reads the input, then demuxes every stream it offers into `out`.
void demuxAll(const fs::path& input, const fs::path& out, bool lpcmAsWav) {
    RunState state;
    test::RecordingHost host;
    RunOptions options;
    ASSERT_EQ(readRun(input, state, options, host), RunOutcome::Done) << host.text();
    const auto captions = offeredCaptions(state);
    for (int slot = 0; slot < kSlotCount; ++slot)
        options.scan.checked[static_cast<std::size_t>(slot)] = !captions[slot].empty();
    options.workdir = out;
    options.lpcmAsWav = lpcmAsWav;
    ASSERT_EQ(demuxRun(input, state, options, captions, host), RunOutcome::Done) << host.text();
}

// ffprobe's view of the first audio stream: rate, channels and sample frames.
std::map<std::string, std::string> probe(const fs::path& file) {
    return test::probeFields(file, "stream=sample_rate,channels,channel_layout,duration_ts");
}

// The WAV of DVD-Video LPCM holds what the VOB holds: the format and number of samples that
// ffprobe reads in both (the samples themselves are checked where they are converted and
// written); the other streams stay elementary.
TEST(DemuxWav, DvdVideoLpcmBecomesAWavOfTheSameAudio) {
    if (!havePeers()) GTEST_SKIP() << "ffmpeg or ffprobe is missing";
    const fs::path dir = test::tempDir("wav-vob");
    const fs::path vob = dir / "LPCM_1.VOB";
    const auto made =
        runCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i " +
                   shellQuote("aevalsrc=exprs=0.5*sin(2*PI*t*300)|0.5*sin(2*PI*t*410)|0.5*sin(2*PI*"
                              "t*520)|0.5*sin(2*PI*t*630)|0.5*sin(2*PI*t*740)|0.5*sin(2*PI*t*850):"
                              "s=48000:c=5.1") +
                   " -map 0:v -map 1:a -c:v mpeg2video -b:v 2M -c:a pcm_dvd -sample_fmt s32 -t 2 "
                   "-f dvd " +
                   shellQuote(vob.string()));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    demuxAll(vob, dir, true);
    const fs::path wav = dir / "LPCM_1.LPCM.stream.00.wav";
    ASSERT_TRUE(fs::exists(wav));
    EXPECT_TRUE(fs::exists(dir / "LPCM_1.MPEG-2.stream.0.mpv"));
    auto fields = probe(wav), vobFields = probe(vob);
    EXPECT_EQ(fields.at("duration_ts"),
              std::to_string(test::ffmpegDecode(vob, "s24le").size() / 18));
    fields.erase("duration_ts");  // the VOB's counts 90 kHz ticks
    vobFields.erase("duration_ts");
    EXPECT_EQ(fields, vobFields);
}

// Each DVD-Audio title gives a WAV per channel group whose format differs, named by the group,
// with every sample frame of its stream.
TEST(DemuxWav, DvdAudioTitlesGiveAWavPerGroup) {
    if (!havePeers()) GTEST_SKIP() << "ffmpeg or ffprobe is missing";
    const auto& disc = test::sampleDisc();
    struct Wav {
        std::string name;
        int channels, rate;
    };
    struct Case {
        fs::path aob;
        std::size_t blockBytes, blockFrames;  // stream bytes of a block and its group 2 frames
        std::vector<Wav> wavs;
    };
    const Case cases[] = {
        {disc.aob, 8, 2, {{"ATS_01_1.LPCM.stream.00.wav", 2, 44100}}},
        {disc.surroundAob, 36, 2, {{"ATS_02_1.LPCM.stream.00.wav", 6, 48000}}},
        {disc.mixedAob,
         40,
         2,
         {{"ATS_03_1.LPCM.stream.00.wav", 2, 96000},
          {"ATS_03_1.LPCM.stream.00.group2.wav", 4, 48000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aob.filename().string());
        const fs::path out = test::tempDir("wav-aob");
        demuxAll(c.aob, out, true);
        uint64_t blocks = 0;
        for (const auto& entry : disc.streams)
            if (entry.file == c.aob.filename().string() && entry.id == 0xA0)
                blocks = fs::file_size(entry.expected) / c.blockBytes;
        ASSERT_GT(blocks, 1000u);
        for (const Wav& w : c.wavs) {
            SCOPED_TRACE(w.name);
            const auto fields = probe(out / w.name);
            const uint64_t frames = blocks * c.blockFrames * static_cast<uint64_t>(w.rate) /
                                    (c.wavs.size() == 2 ? 48000u : static_cast<uint64_t>(w.rate));
            EXPECT_EQ(fields.at("sample_rate"), std::to_string(w.rate));
            EXPECT_EQ(fields.at("channels"), std::to_string(w.channels));
            EXPECT_EQ(fields.at("duration_ts"), std::to_string(frames));
        }
    }
}

}  // namespace
}  // namespace kavrel
