// Demux runs with LPCM as WAV, end to end: the WAV files that ffmpeg, ffprobe and mkvmerge take,
// sample for sample, from DVD-Video LPCM that ffmpeg writes and from the DVD-Audio titles of the
// sample disc; and the MLP of a DVD-Audio title, which ffmpeg decodes to its source.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "engine/runs.h"
#include "tests/support/ps_builder.h"
#include "tools/mkdisc/elementary.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::runCommand;
using test::shellQuote;

bool havePeers() {
    return test::haveTool("ffmpeg") && test::haveTool("ffprobe") && test::haveTool("mkvmerge");
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

std::map<std::string, std::string> probe(const fs::path& file) {
    return test::probeFields(file, "stream=sample_rate,channels,channel_layout");
}

// ffmpeg's decode of the first audio stream as raw samples (s16le, s24le).
Bytes decoded(const fs::path& file, const std::string& raw, const std::string& inputFormat = "") {
    const fs::path out = test::tempDir("decoded") / "samples.raw";
    const auto result =
        runCommand("ffmpeg -v error -y " + (inputFormat.empty() ? "" : "-f " + inputFormat + " ") +
                   "-i " + shellQuote(file.string()) + " -map 0:a:0 -c:a pcm_" + raw + " -f " +
                   raw + " " + shellQuote(out.string()));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return test::readFile(out);
}

// mkvmerge takes the file as one PCM audio track.
void expectMkvmergeTakes(const fs::path& wav) {
    const auto result = runCommand("mkvmerge -J " + shellQuote(wav.string()));
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_NE(result.out.find("\"recognized\": true"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"codec\": \"PCM\""), std::string::npos) << result.out;
}

TEST(DemuxWav, DvdVideoLpcmIsWhatFfmpegDecodes) {
    if (!havePeers()) GTEST_SKIP() << "ffmpeg, ffprobe or mkvmerge is missing";
    struct Case {
        std::string layout, sampleFormat, raw;
        int rate;
    };
    for (const Case& c :
         {Case{"5.1", "s32", "s24le", 48000}, Case{"stereo", "s16", "s16le", 96000}}) {
        SCOPED_TRACE(c.layout);
        const fs::path dir = test::tempDir("wav-vob");
        const fs::path vob = dir / "LPCM_1.VOB";
        const auto made = runCommand(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i " +
            shellQuote("aevalsrc=exprs=0.5*sin(2*PI*t*300)|0.5*sin(2*PI*t*410)|0.5*sin(2*PI*t*520)|"
                       "0.5*sin(2*PI*t*630)|0.5*sin(2*PI*t*740)|0.5*sin(2*PI*t*850):s=" +
                       std::to_string(c.rate) + ":c=5.1") +
            " -map 0:v -map 1:a -ac " + (c.layout == "5.1" ? "6" : "2") +
            " -c:v mpeg2video -b:v 2M -c:a pcm_dvd -sample_fmt " + c.sampleFormat +
            " -t 2 -f dvd " + shellQuote(vob.string()));
        ASSERT_EQ(made.exitCode, 0) << made.err;
        demuxAll(vob, dir, true);
        const fs::path wav = dir / "LPCM_1.LPCM.stream.00.wav";
        ASSERT_TRUE(fs::exists(wav));
        EXPECT_TRUE(fs::exists(dir / "LPCM_1.MPEG-2.stream.0.mpv"));  // other streams stay raw
        auto wavFields = probe(wav), vobFields = probe(vob);
        if (c.layout == "stereo") wavFields["channel_layout"] = "stereo";  // plain PCM names none
        EXPECT_EQ(wavFields, vobFields);
        const Bytes samples = decoded(wav, c.raw);
        EXPECT_GT(samples.size(), 100000u);
        EXPECT_TRUE(samples == decoded(vob, c.raw));
        expectMkvmergeTakes(wav);
    }
}

// The source samples of a generated LPCM stream, in WAV order.
Bytes sourceSamples(const std::vector<int>& channels, int bits, uint64_t frames) {
    Bytes out;
    for (uint64_t f = 0; f < frames; ++f) {
        for (int channel : channels) {
            const auto value = static_cast<uint32_t>(mkdisc::lpcmSample(channel, f, bits));
            for (int i = 0; i < (bits > 16 ? 3 : 2); ++i)
                out.push_back(static_cast<uint8_t>((bits == 20 ? value << 4 : value) >> (8 * i)));
        }
    }
    return out;
}

TEST(DemuxWav, DvdAudioTitlesAreTheirSourceSamples) {
    if (!havePeers()) GTEST_SKIP() << "ffmpeg, ffprobe or mkvmerge is missing";
    const auto& disc = test::sampleDisc();
    struct Wav {
        std::string name, layout;
        int bits, rate;
        std::vector<int> channels;  // the stream's channels in WAV order
    };
    struct Case {
        fs::path aob;
        std::size_t blockBytes, blockFrames;  // stream bytes of a block and its group 2 frames
        std::vector<Wav> wavs;
    };
    const Case cases[] = {
        {disc.aob, 8, 2, {{"ATS_01_1.LPCM.stream.00.wav", "stereo", 16, 44100, {0, 1}}}},
        {disc.surroundAob,
         36,
         2,
         {{"ATS_02_1.LPCM.stream.00.wav", "5.1", 24, 48000, {0, 1, 2, 3, 4, 5}}}},
        {disc.mixedAob,
         40,
         2,
         {{"ATS_03_1.LPCM.stream.00.wav", "stereo", 24, 96000, {0, 1}},
          {"ATS_03_1.LPCM.stream.00.group2.wav", "quad", 16, 48000, {2, 3, 4, 5}}}},
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
            const fs::path wav = out / w.name;
            const auto fields = probe(wav);
            EXPECT_EQ(fields.at("sample_rate"), std::to_string(w.rate));
            EXPECT_EQ(fields.at("channels"), std::to_string(w.channels.size()));
            const uint64_t frames = blocks * c.blockFrames * static_cast<uint64_t>(w.rate) /
                                    (c.wavs.size() == 2 ? 48000u : static_cast<uint64_t>(w.rate));
            EXPECT_TRUE(decoded(wav, w.bits > 16 ? "s24le" : "s16le") ==
                        sourceSamples(w.channels, w.bits, frames));
            expectMkvmergeTakes(wav);
        }
    }
}

// An MLP stream from ffmpeg's encoder in DVD-Audio packets: id, continuity counter, header
// length 6, then six header bytes.
TEST(DemuxWav, DvdAudioMlpIsACleanMlpStream) {
    if (!havePeers()) GTEST_SKIP() << "ffmpeg, ffprobe or mkvmerge is missing";
    const fs::path dir = test::tempDir("aob-mlp");
    const std::string source =
        "-f lavfi -i " +
        shellQuote("aevalsrc=exprs=0.4*sin(2*PI*t*440)|0.4*sin(2*PI*t*660):s=48000:d=1.5");
    const fs::path mlp = dir / "source.mlp";
    auto result =
        runCommand("ffmpeg -v error -y " + source + " -sample_fmt s16 -c:a mlp -strict -2 -f mlp " +
                   shellQuote(mlp.string()));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Bytes stream = test::readFile(mlp);
    test::PsBuilder ps;
    ps.pack({test::systemHeader(1, 0)});
    uint8_t counter = 0;
    for (std::size_t at = 0; at < stream.size(); at += 2000, ++counter) {
        const Bytes part(stream.begin() + static_cast<long>(at),
                         stream.begin() + static_cast<long>(std::min(at + 2000, stream.size())));
        const Bytes header = {
            0xA1, static_cast<uint8_t>(counter % 32), 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x00};
        ps.pack({test::Pes(0xBD).pts(90000 + at).subHeader(header).payload(part).packet()});
    }
    const fs::path aob = dir / "ATS_01_1.AOB";
    test::writeFile(aob, ps.bytes());
    demuxAll(aob, dir, true);  // MLP is no LPCM: it stays an elementary stream
    const fs::path out = dir / "ATS_01_1.LPCM.stream.01.mpa";
    EXPECT_TRUE(test::readFile(out) == stream);
    const auto sourceSamples =
        runCommand("ffmpeg -v error -y " + source + " -f s16le -c:a pcm_s16le " +
                   shellQuote((dir / "source.raw").string()));
    ASSERT_EQ(sourceSamples.exitCode, 0);
    EXPECT_TRUE(decoded(out, "s16le", "mlp") == test::readFile(dir / "source.raw"));
}

}  // namespace
}  // namespace kavrel
