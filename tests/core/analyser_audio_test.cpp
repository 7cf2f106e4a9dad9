// DTS, MLP / Dolby TrueHD and LPCM header analysis, on streams that ffmpeg encodes at known
// settings and on headers built field by field.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "analysers/dts.h"
#include "analysers/lpcm.h"
#include "analysers/mlp.h"
#include "tests/support/bit_writer.h"
#include "tests/support/test_support.h"

namespace kavrel::analysers {
namespace {

using test::BitWriter;
using test::containsLine;

std::vector<uint8_t> ffmpegBytes(const std::string& input, const std::string& output,
                                 const std::string& format) {
    const auto path = test::tempDir("audio") / "out";
    const auto result =
        test::runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y " + input + " " + output +
                         " -f " + format + " " + test::shellQuote(path.string()));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return test::readFile(path);
}

std::string sine(int rate, int channels) {
    return "-f lavfi -i sine=f=440:r=" + std::to_string(rate) + ":d=0.3 -ac " +
           std::to_string(channels);
}

// --- DTS ----------------------------------------------------------------------------------------

// A DTS core frame header; the frame is frameSize bytes long, zero-filled after the header.
std::vector<uint8_t> dtsFrame(int amode, int sfreq, int rate, int lff, uint32_t frameSize) {
    BitWriter w;
    w.put(0x7FFE8001, 32);
    w.put(1, 1);   // FTYPE: normal frame
    w.put(31, 5);  // SHORT
    w.put(0, 1);   // CPF
    w.put(15, 7);  // NBLKS: 16 blocks, 512 samples
    w.put(frameSize - 1, 14);
    w.put(static_cast<uint32_t>(amode), 6);
    w.put(static_cast<uint32_t>(sfreq), 4);
    w.put(static_cast<uint32_t>(rate), 5);
    w.put(0, 5);  // fixed bit, DYNF, TIMEF, AUXF, HDCD
    w.put(0, 3);  // EXT_AUDIO_ID
    w.put(0, 1);  // EXT_AUDIO
    w.put(0, 1);  // ASPF
    w.put(static_cast<uint32_t>(lff), 2);
    w.put(0, 1);  // HFLAG
    w.put(0, 1 + 4 + 2);
    w.put(6, 3);  // PCMR: 24 bit
    w.put(0, 6);
    auto bytes = w.bytes;
    bytes.resize(frameSize, 0);
    return bytes;
}

// A DTS-HD extension substream carrying one coding component with the given sync word.
std::vector<uint8_t> dtsHdSubstream(uint32_t componentSync) {
    BitWriter w;
    w.put(0x64582025, 32);
    w.put(0, 8);    // user defined bits
    w.put(0, 2);    // substream index
    w.put(0, 1);    // short size fields
    w.put(15, 8);   // header size - 1
    w.put(63, 16);  // substream size - 1
    auto bytes = w.bytes;
    bytes.resize(16, 0);
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(componentSync >> shift));
    }
    bytes.resize(64, 0);
    return bytes;
}

TEST(DtsHeader, CoreFieldsAndTheExtensionSubstream) {
    auto payload = std::vector<uint8_t>{0x01, 0x02, 0x03};  // mid-frame start
    const auto core = dtsFrame(9, 13, 24, 1, 2012);
    payload.insert(payload.end(), core.begin(), core.end());
    const auto hd = dtsHdSubstream(0x41A29547);
    payload.insert(payload.end(), hd.begin(), hd.end());

    const auto lines = analyseAudio(AudioClass::Dts, LpcmCarriage::Video, payload, 1).lines;
    EXPECT_EQ(lines.at(0), "   Stream 1 is [b]DTS[/b] with a [b]DTS-HD[/b] extension substream");
    EXPECT_TRUE(containsLine(lines, "   Sampling frequency = [bl]48[/bl] kHz"));
    EXPECT_TRUE(containsLine(lines, "   Transmission bitrate = [bl]1536[/bl] kbit/s"));
    EXPECT_TRUE(containsLine(lines, "   Channel arrangement = [bl]C + L + R + Ls + Rs[/bl]"));
    EXPECT_TRUE(containsLine(lines, "   LFE channel = [bl]present[/bl]"));
    EXPECT_TRUE(containsLine(lines, "   frame size = 2012 bytes, 512 samples per frame"));
    EXPECT_TRUE(containsLine(lines, "   Source resolution = [bl]24[/bl] bit"));
    EXPECT_TRUE(containsLine(lines, "   DTS-HD extensions = [bl]XLL (lossless)[/bl]"));
}

TEST(DtsHeader, SubstreamOnlyWhereItFollowsTheCore) {
    const auto core = dtsFrame(2, 8, 29, 0, 1006);
    auto payload = core;
    payload.push_back(0);  // the substream sync is not right after the core
    const auto hd = dtsHdSubstream(0x655E315E);
    payload.insert(payload.end(), hd.begin(), hd.end());
    const auto lines = analyseAudio(AudioClass::Dts, LpcmCarriage::Video, payload, 0).lines;
    EXPECT_EQ(lines.at(0), "   Stream 0 is [b]DTS[/b]");
    EXPECT_TRUE(containsLine(lines, "   Sampling frequency = [bl]44.1[/bl] kHz"));
    EXPECT_TRUE(containsLine(lines, "   Transmission bitrate = [bl]open[/bl]"));
    EXPECT_TRUE(containsLine(lines, "   LFE channel = [bl]not present[/bl]"));

    // A stream of extension substreams alone (no core) still names what it carries.
    const auto lbr =
        analyseAudio(AudioClass::Dts, LpcmCarriage::Video, dtsHdSubstream(0x0A801921), 0).lines;
    ASSERT_EQ(lbr.size(), 4u);
    EXPECT_EQ(lbr[0], "   Stream 0 is [b]DTS-HD[/b] (no core)");
    EXPECT_EQ(lbr[2], "   DTS-HD extensions = [bl]LBR (low bit rate)[/bl]");
    EXPECT_EQ(lbr[3], "   Format = [bl]DTS Express[/bl]");
}

TEST(DtsHeader, FramesEncodedByFfmpeg) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        int rate;
        int channels;
        std::string rateText;
        std::string arrangement;
        std::string lfe;
    };
    for (const Case& c : {Case{48000, 6, "48", "C + L + R + Ls + Rs", "present"},
                          Case{44100, 2, "44.1", "L + R", "not present"}}) {
        SCOPED_TRACE(c.rateText);
        const auto bytes = ffmpegBytes(sine(c.rate, c.channels), "-c:a dca -strict -2", "dts");
        ASSERT_GT(bytes.size(), 5000u);
        const std::vector<uint8_t> payload(bytes.begin() + 7, bytes.begin() + 5000);
        const auto info = parseDts(payload);
        ASSERT_TRUE(info.core.has_value());
        const auto lines = dtsLines(info, dtsFacts(info), 0);
        EXPECT_TRUE(containsLine(lines, "   Sampling frequency = [bl]" + c.rateText + "[/bl] kHz"));
        EXPECT_TRUE(containsLine(lines, "   Channel arrangement = [bl]" + c.arrangement + "[/bl]"));
        EXPECT_TRUE(containsLine(lines, "   LFE channel = [bl]" + c.lfe + "[/bl]"));
        // The frame size in the header is the distance to the next sync word.
        const std::vector<uint8_t> sync = {0x7F, 0xFE, 0x80, 0x01};
        const auto first = std::search(payload.begin(), payload.end(), sync.begin(), sync.end());
        ASSERT_LT(first + static_cast<std::ptrdiff_t>(info.core->frameSize) + 4, payload.end());
        EXPECT_TRUE(std::equal(sync.begin(), sync.end(),
                               first + static_cast<std::ptrdiff_t>(info.core->frameSize)));
    }
}

// --- MLP and Dolby TrueHD ------------------------------------------------------------------------

TEST(MajorSyncHeader, TrueHdAndMlpEncodedByFfmpeg) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    {
        const auto bytes = ffmpegBytes(sine(48000, 6), "-c:a truehd -strict -2", "truehd");
        const auto lines = analyseAudio(AudioClass::TrueHd, LpcmCarriage::Video, bytes, 4).lines;
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "   Stream 4 is [b]Dolby TrueHD[/b]");
        EXPECT_EQ(lines[1], "   Sampling frequency = [bl]48[/bl] kHz");
        EXPECT_EQ(lines[2], "   Channel arrangement = [bl]Lf + Rf + Ls + Rs + C + LFE[/bl]");
    }
    {
        const auto bytes = ffmpegBytes(sine(96000, 2), "-c:a truehd -strict -2", "truehd");
        const auto lines = analyseAudio(AudioClass::TrueHd, LpcmCarriage::Video, bytes, 0).lines;
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[1], "   Sampling frequency = [bl]96[/bl] kHz");
        // Table B names only 5.1; other layouts are spelled out from the assignment bits.
        EXPECT_EQ(lines[2], "   Channel arrangement = [bl]L + R[/bl]");
    }
    {
        const auto bytes = ffmpegBytes(sine(44100, 2), "-c:a mlp -strict -2", "mlp");
        // MLP of a DVD-Audio disc comes as sub-stream 0xA1 in the LPCM class.
        const auto lines =
            analyseAudio(AudioClass::Lpcm, LpcmCarriage::DvdAudioMlp, bytes, 1).lines;
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "   Stream 1 is [b]MLP[/b]");
        EXPECT_EQ(lines[1],
                  "   Sampling frequency = [bl]44.1[/bl] kHz, bit depth = [bl]16[/bl] bit");
        EXPECT_EQ(lines[2], "   Channel arrangement = [bl]L + R[/bl]");
    }
}

TEST(MajorSyncHeader, FieldsAndPeakBitrate) {
    BitWriter w;
    w.put(0xF8726FBB, 32);
    w.put(2, 4);  // group 1: 24 bit
    w.put(0, 4);  // group 2: 16 bit
    w.put(1, 4);  // group 1: 96 kHz
    w.put(0, 4);  // group 2: 48 kHz
    w.put(0, 11);
    w.put(12, 5);  // Lf + Rf + C + LFE + Ls + Rs
    w.put(0xB752, 16);
    w.put(0, 32);
    w.put(0, 1);
    w.put(1000, 15);  // peak data rate
    w.put(2, 4);
    w.put(0, 4);
    const auto sync = findMajorSync(w.bytes);
    ASSERT_TRUE(sync.has_value());
    EXPECT_EQ(peakBitrate(*sync).value_or(0), (1000ull * 96000 + 8) >> 4);
    const auto lines = majorSyncLines(*sync, 0);
    EXPECT_TRUE(containsLine(
        lines, "   Sampling frequency = [bl]96[/bl] kHz, bit depth = [bl]24[/bl] bit"));
    EXPECT_TRUE(containsLine(
        lines, "   Group 2 sampling frequency = [bl]48[/bl] kHz, bit depth = [bl]16[/bl] bit"));
    EXPECT_TRUE(
        containsLine(lines, "   Channel arrangement = [bl]Lf + Rf + C + LFE + Ls + Rs[/bl]"));
    EXPECT_TRUE(containsLine(lines, "   Peak bitrate = [bl]6000[/bl] kbit/s"));

    // Without the signature the sync word is taken for audio data; codes past the tables are
    // shown as unknown rather than read out of bounds.
    auto unsigned_ = w.bytes;
    unsigned_[8] = 0;
    EXPECT_FALSE(findMajorSync(unsigned_).has_value());
    auto odd = w.bytes;
    odd[4] = 0xFF;  // bit depth codes 15
    odd[5] = 0x5F;  // sampling frequency code 5
    odd[7] = 0x1F;  // channel assignment 31
    const auto oddLines = majorSyncLines(*findMajorSync(odd), 0);
    EXPECT_TRUE(containsLine(
        oddLines,
        "   Sampling frequency = [bl]unknown (5)[/bl] kHz, bit depth = [bl]unknown (15)[/bl] bit"));
    EXPECT_TRUE(containsLine(oddLines, "   Channel arrangement = [bl]unknown (31)[/bl]"));
}

// --- LPCM ---------------------------------------------------------------------------------------

TEST(LpcmHeader, DvdVideoHeaderBytes) {
    struct Case {
        uint8_t byte1;
        std::string rate, depth, channels;
    };
    for (const Case& c : {Case{0x01, "48", "16", "2"}, Case{0x95, "96", "24", "6"},
                          Case{0x47, "48", "20", "8"}, Case{0x20, "44.1", "16", "1"}}) {
        const std::vector<uint8_t> header = {0x0C, c.byte1, 0x80};
        const auto lines = analyseAudio(AudioClass::Lpcm, LpcmCarriage::Video, {}, 3, header).lines;
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], "   Stream 3 is [b]LPCM[/b]");
        EXPECT_EQ(lines[1], "   Sampling frequency = [bl]" + c.rate + "[/bl] kHz");
        EXPECT_EQ(lines[2], "   Bit depth = [bl]" + c.depth + "[/bl] bit");
        EXPECT_EQ(lines[3], "   Channels = [bl]" + c.channels + "[/bl]");
    }
    EXPECT_TRUE(
        analyseAudio(AudioClass::Lpcm, LpcmCarriage::Video, {}, 0, std::vector<uint8_t>{0x0C, 0x01})
            .lines.empty());
}

TEST(LpcmHeader, DvdVideoHeaderWrittenByFfmpeg) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const auto vob = ffmpegBytes(sine(96000, 2), "-c:a pcm_dvd -sample_fmt s32", "vob");
    // The first private stream 1 packet: PES header, then A0, frame count, pointer, 3 bytes.
    const std::vector<uint8_t> start = {0x00, 0x00, 0x01, 0xBD};
    const auto pes = std::search(vob.begin(), vob.end(), start.begin(), start.end());
    ASSERT_LT(pes + 9, vob.end());
    const auto sub = pes + 9 + pes[8];
    ASSERT_LT(sub + 7, vob.end());
    ASSERT_EQ(sub[0], 0xA0);
    const std::vector<uint8_t> header(sub + 4, sub + 7);
    const auto lines = analyseAudio(AudioClass::Lpcm, LpcmCarriage::Video, {}, 0, header).lines;
    EXPECT_TRUE(containsLine(lines, "   Sampling frequency = [bl]96[/bl] kHz"));
    EXPECT_TRUE(containsLine(lines, "   Bit depth = [bl]24[/bl] bit"));
    EXPECT_TRUE(containsLine(lines, "   Channels = [bl]2[/bl]"));
}

// The private header of DVD-Audio LPCM as the scanner hands it over: the bytes after the header
// length field, starting with the first access unit pointer.
std::vector<uint8_t> aobHeader(uint8_t depths, uint8_t rates, uint8_t assignment) {
    return {0x00, 0x0A, 0x10, depths, rates, 0x00, assignment, 0x80, 0x00, 0x00, 0x00};
}

TEST(LpcmHeader, DvdAudioPrivateHeader) {
    struct Case {
        std::vector<uint8_t> header;
        std::vector<std::string> lines;
        std::optional<int> channels;
        std::optional<uint32_t> rate;
    };
    const std::vector<Case> cases = {
        // Word lengths 24/16, rates 96/48 kHz, 5.1 in two groups.
        {aobHeader(0x20, 0x10, 12),
         {"   Stream 0 is [b]LPCM[/b] (DVD-Audio)",
          "   Group 1 sampling frequency = [bl]96[/bl] kHz, bit depth = [bl]24[/bl] bit",
          "   Group 2 sampling frequency = [bl]48[/bl] kHz, bit depth = [bl]16[/bl] bit",
          "   Channel arrangement = [bl]Lf + Rf + C + LFE + Ls + Rs[/bl]",
          "   Channels = [bl]6[/bl], [bl]2[/bl] in group 1, [bl]4[/bl] in group 2"},
         6,
         96000},
        // The public example: 16 bit, 44.1 kHz stereo, no group 2.
        {{0x00, 0x0A, 0x10, 0x0F, 0x8F, 0x00, 0x01, 0x80},
         {"   Stream 0 is [b]LPCM[/b] (DVD-Audio)",
          "   Group 1 sampling frequency = [bl]44.1[/bl] kHz, bit depth = [bl]16[/bl] bit",
          "   Channel arrangement = [bl]L + R[/bl]", "   Channels = [bl]2[/bl]"},
         2,
         44100},
        // Lf Rf C in group 1, LFE Ls Rs in group 2 at 88.2 kHz, 20 bit.
        {aobHeader(0x11, 0x99, 17),
         {"   Stream 0 is [b]LPCM[/b] (DVD-Audio)",
          "   Group 1 sampling frequency = [bl]88.2[/bl] kHz, bit depth = [bl]20[/bl] bit",
          "   Group 2 sampling frequency = [bl]88.2[/bl] kHz, bit depth = [bl]20[/bl] bit",
          "   Channel arrangement = [bl]Lf + Rf + C + LFE + Ls + Rs[/bl]",
          "   Channels = [bl]6[/bl], [bl]3[/bl] in group 1, [bl]3[/bl] in group 2"},
         6,
         88200},
        // Codes past the tables are shown as unknown and give no facts.
        {aobHeader(0x7F, 0x5F, 64),
         {"   Stream 0 is [b]LPCM[/b] (DVD-Audio)",
          "   Group 1 sampling frequency = [bl]unknown (5)[/bl] kHz, bit depth = [bl]unknown "
          "(7)[/bl] bit",
          "   Channel arrangement = [bl]unknown (64)[/bl]"},
         std::nullopt,
         std::nullopt},
        // A header too short to hold the channel assignment gives nothing.
        {{0x00, 0x0A, 0x10, 0x0F, 0x8F, 0x00}, {}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.empty() ? "short" : c.lines[1]);
        // The payload is audio only: its bytes must not be taken for header fields.
        const std::vector<uint8_t> samples(64, 0x5A);
        const auto a = analyseAudio(AudioClass::Lpcm, LpcmCarriage::DvdAudio, samples, 0, c.header);
        EXPECT_EQ(a.lines, c.lines);
        EXPECT_EQ(a.facts.channels, c.channels);
        EXPECT_EQ(a.facts.sampleRate, c.rate);
    }
}

// --- DTS-HD extension substreams ---------------------------------------------------------------

// An extension substream whose header carries the static fields and one asset descriptor
// telling the stream's channels, then one coding component with the given sync word.
std::vector<uint8_t> dtsHdWithAsset(uint32_t componentSync, int channels) {
    BitWriter w;
    w.put(0x64582025, 32);
    w.put(0, 8);    // user defined bits
    w.put(0, 2);    // substream index
    w.put(0, 1);    // short size fields
    w.put(31, 8);   // header size - 1
    w.put(95, 16);  // substream size - 1
    w.put(1, 1);    // static fields present
    w.put(0, 2 + 3);
    w.put(0, 1);        // no time stamp
    w.put(0, 3);        // one presentation
    w.put(0, 3);        // one asset
    w.put(1, 1);        // the presentation uses substream 0 ...
    w.put(1, 8);        // ... and its asset 0
    w.put(1, 1);        // mixing metadata
    w.put(0, 2);        // adjustment level
    w.put(1, 2);        // 8-bit mix output masks
    w.put(1, 2);        // two configurations
    w.put(0xFFFF, 16);  // their masks
    w.put(63, 16);      // asset size - 1
    w.put(20, 9);       // descriptor size - 1
    w.put(0, 3);        // asset index
    w.put(1, 1);        // asset type ...
    w.put(0, 4);
    w.put(1, 1);  // language ...
    w.put(0x656E67, 24);
    w.put(1, 1);  // info text of 2 bytes
    w.put(1, 10);
    w.put(0x4869, 16);
    w.put(23, 5);  // 24 bit
    w.put(13, 4);  // 96 kHz
    w.put(static_cast<uint32_t>(channels - 1), 8);
    auto bytes = w.bytes;
    bytes.resize(32, 0);
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(componentSync >> shift));
    }
    bytes.resize(96, 0);
    return bytes;
}

TEST(DtsHeader, ExtensionSubstreamNamesTheFormatAndTheChannels) {
    struct Case {
        uint32_t sync;
        std::string format;  // "" when the components name no format
        std::string profile;
    };
    const std::vector<Case> cases = {
        {0x41A29547, "DTS-HD Master Audio", "DTS-HD MA"},
        {0x655E315E, "DTS-HD High Resolution", "DTS-HD HRA"},
        {0x1D95F262, "DTS-HD High Resolution", "DTS-HD HRA"},
        {0x0A801921, "DTS Express", "DTS Express"},
        {0x47004A03, "", "DTS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        auto payload = dtsFrame(9, 13, 24, 1, 2012);  // a 5.1 core
        const auto hd = dtsHdWithAsset(c.sync, 8);
        payload.insert(payload.end(), hd.begin(), hd.end());
        const auto a = analyseAudio(AudioClass::Dts, LpcmCarriage::Video, payload, 1);
        EXPECT_EQ(containsLine(a.lines, "   Format = [bl]" + c.format + "[/bl]"),
                  !c.format.empty());
        EXPECT_TRUE(containsLine(a.lines, "   Core channels = [bl]6[/bl]"));
        EXPECT_TRUE(containsLine(a.lines,
                                 "   Channels in all = [bl]8[/bl], bit depth = [bl]24[/bl] bit, "
                                 "sampling frequency = [bl]96[/bl] kHz"));
        EXPECT_EQ(a.facts.format, c.format.empty() ? "DTS" : c.format);
        EXPECT_EQ(a.facts.profile, c.profile);
        EXPECT_EQ(a.facts.channels, 8);
        EXPECT_EQ(a.facts.sampleRate, 96000u);
        EXPECT_EQ(a.facts.bitsPerSample, 24);
    }

    // Without static fields the whole stream's channels are not known: the core's stand.
    auto payload = dtsFrame(9, 13, 24, 1, 2012);
    const auto hd = dtsHdSubstream(0x41A29547);
    payload.insert(payload.end(), hd.begin(), hd.end());
    const auto a = analyseAudio(AudioClass::Dts, LpcmCarriage::Video, payload, 1);
    EXPECT_TRUE(containsLine(a.lines, "   Format = [bl]DTS-HD Master Audio[/bl]"));
    EXPECT_FALSE(test::containsLine(a.lines, "   Channels in all = [bl]8[/bl]"));
    EXPECT_EQ(a.facts.channels, 6);
    EXPECT_EQ(a.facts.sampleRate, 48000u);
    EXPECT_EQ(a.facts.bitRate, 1536000u);
    EXPECT_EQ(a.facts.channelLayout, "C + L + R + Ls + Rs + LFE");

    // A substream header cut inside its static fields gives no figures, and reads nothing past
    // the run.
    for (std::size_t cut = 8; cut < 27; ++cut) {  // the channel count ends in byte 27
        const auto cutHd = dtsHdWithAsset(0x41A29547, 8);
        const std::vector<uint8_t> run(cutHd.begin(), cutHd.begin() + static_cast<long>(cut));
        EXPECT_FALSE(analyseAudio(AudioClass::Dts, LpcmCarriage::Video, run, 0).facts.channels)
            << cut;
    }
}

}  // namespace
}  // namespace kavrel::analysers
