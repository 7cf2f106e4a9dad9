// LPCM of DVD-Video, HD DVD and DVD-Audio to WAV samples: against ffmpeg's own decode of the
// VOBs its muxer writes, and against the known samples of the generator's DVD-Audio streams.
#include <gtest/gtest.h>

#include "formats/aob_lpcm.h"
#include "formats/dvd_lpcm.h"
#include "tests/support/test_support.h"
#include "tools/mkdisc/elementary.h"

namespace kavrel::formats {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Feeds the bytes in pieces of changing odd sizes, so that groups straddle the calls as they
// straddle packets.
template <typename Convert>
void inPieces(const Bytes& all, Convert&& convert) {
    std::size_t at = 0;
    for (std::size_t piece = 1; at < all.size(); piece = piece * 7 % 1013 + 1) {
        const std::size_t n = std::min(piece, all.size() - at);
        convert(std::span(all).subspan(at, n));
        at += n;
    }
}

// Little-endian WAV bytes of samples of a depth; 20-bit samples sit left-justified in 24 bits.
void appendWavSample(Bytes& out, int32_t sample, int bits) {
    const auto value = static_cast<uint32_t>(bits == 20 ? sample * 16 : sample);
    for (std::size_t i = 0; i < wavSampleBytes(bits); ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

TEST(DvdLpcmHeader, FormatFromTheHeaderBytes) {
    struct Case {
        uint8_t fields;  // quantisation, sampling frequency, channels - 1
        std::optional<DvdLpcmFormat> format;
    };
    for (const Case& c :
         {Case{0x01, DvdLpcmFormat{16, 48000, 2}}, Case{0x95, DvdLpcmFormat{24, 96000, 6}},
          Case{0x47, DvdLpcmFormat{20, 48000, 8}}, Case{0x20, DvdLpcmFormat{16, 192000, 1}},
          Case{0xC1, std::nullopt},     // reserved quantisation
          Case{0x31, std::nullopt}}) {  // reserved sampling frequency
        SCOPED_TRACE(c.fields);
        EXPECT_EQ(dvdLpcmFormat(Bytes{0x05, c.fields, 0x80}), c.format);
    }
    EXPECT_EQ(dvdLpcmFormat(Bytes{0x05, 0x01}), std::nullopt);
}

TEST(DvdLpcmGroups, HighWordsFirstThenTheLowBitsEvenAcrossCalls) {
    struct Case {
        int bits;
        Bytes stream, wav;
    };
    // Stereo, two frames: L0 R0 L1 R1.
    const Case cases[] = {
        {24,
         {0x12, 0x34, 0xFE, 0xDC, 0x00, 0x00, 0x80, 0x00, 0x56, 0xBA, 0x01, 0x00},
         {0x56, 0x34, 0x12, 0xBA, 0xDC, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80}},
        {20,
         {0x12, 0x34, 0xFE, 0xDC, 0x00, 0x00, 0x80, 0x00, 0x5B, 0x10},
         {0x50, 0x34, 0x12, 0xB0, 0xDC, 0xFE, 0x10, 0x00, 0x00, 0x00, 0x00, 0x80}},
        {16,
         {0x12, 0x34, 0xFE, 0xDC, 0x00, 0x01, 0x80, 0x00},
         {0x34, 0x12, 0xDC, 0xFE, 0x01, 0x00, 0x00, 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        for (std::size_t cut = 0; cut <= c.stream.size(); ++cut) {
            DvdLpcmToWav converter(DvdLpcmFormat{c.bits, 48000, 2});
            Bytes wav;
            converter.convert(std::span(c.stream).first(cut), wav);
            converter.convert(std::span(c.stream).subspan(cut), wav);
            EXPECT_EQ(wav, c.wav) << "cut at " << cut;
            EXPECT_EQ(converter.pendingBytes(), 0u);
        }
    }
}

// The byte shuffle (16-byte shuffles where the machine has them, byte by byte for the units
// near a buffer's end) gives what the sample-by-sample conversion gives, for every unit count.
TEST(LpcmByteShuffle, EqualsTheSampleConversion) {
    uint32_t seed = 12345;
    for (int bits : {16, 24}) {
        for (int channels = 1; channels <= 8; ++channels) {
            for (std::size_t run : {dvdVideoRun(channels), dvdAudioRun(channels)}) {
                const std::size_t groupBytes = lpcmGroupBytes(bits, channels);
                const std::size_t stride =
                    wavSampleBytes(bits) * static_cast<std::size_t>(channels);
                std::vector<uint8_t> slots(static_cast<std::size_t>(channels));
                for (std::size_t c = 0; c < slots.size(); ++c)
                    slots[c] = static_cast<uint8_t>(slots.size() - 1 - c);  // reversed order
                ByteShuffle shuffle;
                shuffle.addGroups(0, 1, bits, channels, run, slots.data(), stride, 0);
                for (std::size_t count = 1; count <= 9; ++count) {
                    Bytes groups(count * groupBytes);
                    for (uint8_t& b : groups)
                        b = static_cast<uint8_t>((seed = seed * 69069 + 1) >> 24);
                    Bytes expected(count * 2 * stride), actual(expected.size());
                    lpcmGroupsToWav(groups.data(), count, bits, channels, run, slots.data(), stride,
                                    expected.data());
                    shuffle.apply(groups.data(), count, groupBytes, actual.data());
                    ASSERT_EQ(actual, expected)
                        << bits << " bits, " << channels << " channels, run " << run << ", "
                        << count << " units";
                }
            }
        }
    }
}

// --- DVD-Video LPCM that ffmpeg writes ---------------------------------------------------------

// The LPCM packets of one sub-stream of a program stream: the header bytes after the first
// access unit pointer and the audio after them.
struct LpcmPackets {
    Bytes header;  // of the first packet
    Bytes audio;   // of every packet, joined
};

LpcmPackets lpcmPackets(const Bytes& b, uint8_t subId) {
    LpcmPackets out;
    for (std::size_t pack = 0; pack + 2048 <= b.size(); pack += 2048) {
        std::size_t at = pack + 14 + (b[pack + 13] & 0x07);
        while (at + 9 < pack + 2048 && b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1) {
            const std::size_t end = at + 6 + (std::size_t{b[at + 4]} << 8 | b[at + 5]);
            const std::size_t payload = at + 9 + b[at + 8];
            if (b[at + 3] == 0xBD && b[payload] == subId && payload + 7 <= end) {
                if (out.header.empty()) out.header.assign(&b[payload + 4], &b[payload + 7]);
                out.audio.insert(out.audio.end(), &b[payload + 7], &b[end]);
            }
            at = end;
        }
    }
    return out;
}

TEST(DvdLpcmFfmpeg, SamplesEqualFfmpegsDecode) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
    struct Case {
        std::string layout, sampleFormat;
        int rate, bits;
    };
    for (const Case& c : {Case{"stereo", "s16", 48000, 16}, Case{"5.1", "s32", 48000, 24},
                          Case{"stereo", "s32", 96000, 24}, Case{"mono", "s32", 48000, 24}}) {
        SCOPED_TRACE(c.layout + " " + std::to_string(c.rate) + " " + std::to_string(c.bits));
        const fs::path dir = test::tempDir("lpcm");
        const fs::path vob = dir / "lpcm.vob";
        // A tone of its own on each channel.
        std::string exprs;
        const int channels = c.layout == "5.1" ? 6 : c.layout == "stereo" ? 2 : 1;
        for (int ch = 0; ch < channels; ++ch)
            exprs += (ch ? "|" : "") + std::string("0.6*sin(2*PI*t*") +
                     std::to_string(300 + 110 * ch) + ")";
        const auto made = test::runCommand("ffmpeg -v error -y -f lavfi -i " +
                                           test::shellQuote("aevalsrc=exprs=" + exprs +
                                                            ":s=" + std::to_string(c.rate) +
                                                            ":c=" + c.layout + ":d=1.2") +
                                           " -c:a pcm_dvd -sample_fmt " + c.sampleFormat +
                                           " -f dvd " + test::shellQuote(vob.string()));
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const LpcmPackets packets = lpcmPackets(test::readFile(vob), 0xA0);
        const auto format = dvdLpcmFormat(packets.header);
        ASSERT_TRUE(format);
        EXPECT_EQ(*format, (DvdLpcmFormat{c.bits, static_cast<uint32_t>(c.rate), channels}));

        DvdLpcmToWav converter(*format);
        Bytes samples;
        inPieces(packets.audio,
                 [&](std::span<const uint8_t> piece) { converter.convert(piece, samples); });
        const std::string raw = c.bits == 16 ? "s16le" : "s24le";
        EXPECT_TRUE(samples == test::ffmpegDecode(vob, raw));
    }
}

// --- DVD-Audio LPCM from known samples --------------------------------------------------------

// One WAV the converter must give: its format and the stream channels in WAV order.
struct ExpectedWav {
    uint32_t mask;
    int bits;
    uint32_t rate;
    std::vector<int> streamChannels;
};

TEST(AobLpcmHeader, FormatFromTheHeaderBytes) {
    struct Case {
        Bytes header;  // after the header length: pointer, byte, depths, rates, byte, assignment
        std::optional<AobLpcmFormat> format;
    };
    const Case cases[] = {
        // The first packet of a real stereo title.
        {{0x00, 0x0A, 0x10, 0x0F, 0x8F, 0x00, 0x01, 0x80}, AobLpcmFormat{{16, 0}, {44100, 0}, 1}},
        {{0x00, 0x00, 0x00, 0x22, 0x00, 0x00, 0x11, 0x80},
         AobLpcmFormat{{24, 24}, {48000, 48000}, 17}},
        {{0x00, 0x00, 0x00, 0x20, 0x10, 0x00, 0x0C, 0x80},
         AobLpcmFormat{{24, 16}, {96000, 48000}, 12}},
        {{0x00, 0x00, 0x00, 0x11, 0xA9, 0x00, 0x14}, AobLpcmFormat{{20, 20}, {176400, 88200}, 20}},
        // One group: what the group 2 fields say does not matter.
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, AobLpcmFormat{{16, 0}, {48000, 0}, 0}},
        {{0x00, 0x00, 0x00, 0x3F, 0x8F, 0x00, 0x01}, std::nullopt},  // depth code 3
        {{0x00, 0x00, 0x00, 0x0F, 0x3F, 0x00, 0x01}, std::nullopt},  // rate code 3
        {{0x00, 0x00, 0x00, 0x0F, 0x8F, 0x00, 0x15}, std::nullopt},  // assignment 21
        {{0x00, 0x00, 0x00, 0x0F, 0x0F, 0x00, 0x0C}, std::nullopt},  // 2 groups, group 2 absent
        {{0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x0C}, std::nullopt},  // 44.1 and 48 kHz
        {{0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x0C}, std::nullopt},  // group 2 the faster
        {{0x00, 0x00, 0x00, 0x0F, 0x8F, 0x00}, std::nullopt},        // too short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.header));
        EXPECT_EQ(aobLpcmFormat(c.header), c.format);
    }
}

TEST(AobLpcmToWav, GroupsGiveOneWavInSpeakerOrderOrOneWavEach) {
    struct Case {
        mkdisc::LpcmFormat stream;
        std::vector<ExpectedWav> wavs;
    };
    const Case cases[] = {
        {{{16, 0}, {44100, 0}, {2, 0}, 1}, {{0x3, 16, 44100, {0, 1}}}},
        {{{20, 0}, {48000, 0}, {1, 0}, 0}, {{0x4, 20, 48000, {0}}}},
        // L R C | LFE Ls Rs: stream order is speaker order.
        {{{24, 24}, {48000, 48000}, {3, 3}, 17}, {{0x3F, 24, 48000, {0, 1, 2, 3, 4, 5}}}},
        // L R Ls Rs | C LFE: the WAV puts C and LFE before the back pair.
        {{{20, 20}, {96000, 96000}, {4, 2}, 20}, {{0x3F, 20, 96000, {0, 1, 4, 5, 2, 3}}}},
        {{{16, 16}, {48000, 48000}, {4, 1}, 18}, {{0x3B, 16, 48000, {0, 1, 4, 2, 3}}}},
        // L R at 24 bits and 96 kHz | C LFE Ls Rs at 16 bits and 48 kHz: a WAV per group.
        {{{24, 16}, {96000, 48000}, {2, 4}, 12},
         {{0x3, 24, 96000, {0, 1}}, {0x3C, 16, 48000, {2, 3, 4, 5}}}},
        {{{24, 20}, {48000, 48000}, {3, 1}, 13},
         {{0x7, 24, 48000, {0, 1, 2}}, {0x100, 20, 48000, {3}}}},
    };
    constexpr uint64_t kUnits = 25;  // of 80 frames at group 2's rate
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream.assignment);
        Bytes stream;
        auto builder = mkdisc::makeLpcm(c.stream);
        for (uint64_t unit = 0; unit < kUnits; ++unit) builder->build(unit, stream);

        AobLpcmFormat format{c.stream.bits, c.stream.sampleRate, c.stream.assignment};
        AobLpcmToWav converter(format);
        ASSERT_EQ(converter.outputCount(), c.wavs.size());
        std::array<Bytes, 2> out;
        inPieces(stream, [&](std::span<const uint8_t> piece) { converter.convert(piece, out); });
        EXPECT_EQ(converter.pendingBytes(), 0u);
        for (std::size_t w = 0; w < c.wavs.size(); ++w) {
            const ExpectedWav& e = c.wavs[w];
            SCOPED_TRACE(w);
            const WavFormat& wav = converter.wav(w);
            EXPECT_EQ(wav.channelMask, e.mask);
            EXPECT_EQ(wav.validBits, e.bits);
            EXPECT_EQ(wav.sampleRate, e.rate);
            ASSERT_EQ(wav.channels, e.streamChannels.size());
            Bytes expected;
            const uint64_t frames = kUnits * 80 * e.rate / c.stream.unitRate();
            for (uint64_t f = 0; f < frames; ++f)
                for (int channel : e.streamChannels)
                    appendWavSample(expected, mkdisc::lpcmSample(channel, f, e.bits), e.bits);
            EXPECT_TRUE(out[w] == expected);
        }
    }
}

// A packet whose header length does not fit the stream costs its own duration only: silence in
// its place, the packets after it as before. A length run into the next header costs nothing.
TEST(AobLpcmToWav, ADamagedPacketBecomesSilenceOfItsDuration) {
    // 16-bit stereo: 8-byte blocks. L = 16, an access unit at the audio's start.
    const Bytes header = {0x00, 0x0F, 0x10, 0x0F, 0x0F, 0x00, 0x01, 0x80, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes audio(4 * 2000), wav(audio.size());
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<uint8_t>(i * 7 + 1);
    for (std::size_t i = 0; i < audio.size(); ++i) wav[i] = audio[i ^ 1];  // big to little end
    struct Case {
        std::size_t length;  // the third packet's length field
        bool lost;           // it ran past the packet
        Bytes tail;          // after the last packet's audio
    };
    for (const Case& c : {Case{17, false, {}}, Case{15, false, {}}, Case{0, true, {}},
                          Case{0, false, {}}, Case{16, false, {0, 0, 1, 0xBE, 0x05, 0x40}}}) {
        SCOPED_TRACE(c.length);
        AobLpcmToWav converter(AobLpcmFormat{{16, 0}, {48000, 0}, 1});
        std::array<Bytes, 2> out;
        std::vector<bool> fits;
        for (std::size_t p = 0; p < 4; ++p) {
            Bytes packet = header;
            packet.insert(packet.end(), audio.begin() + 2000 * p, audio.begin() + 2000 * (p + 1));
            if (p == 3) packet.insert(packet.end(), c.tail.begin(), c.tail.end());
            const std::size_t length = p == 2 ? c.length : 16;
            fits.push_back(converter.packet(std::span(packet).first(length),
                                            std::span(packet).subspan(length), p == 2 && c.lost,
                                            out));
        }
        const bool damaged = c.tail.empty();
        EXPECT_EQ(fits, (std::vector<bool>{true, true, !damaged, true}));
        Bytes expected = wav;
        if (damaged) std::fill(expected.begin() + 4000, expected.begin() + 6000, 0);
        EXPECT_TRUE(out[0] == expected);
    }
}

}  // namespace
}  // namespace kavrel::formats
