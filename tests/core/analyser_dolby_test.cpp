// Dolby Digital and Dolby Digital Plus header analysis: hand-built syncframe headers for the
// exact rules, and frames that ffmpeg encodes at known settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "analysers/ac3.h"
#include "analysers/analysers.h"
#include "tests/support/bit_writer.h"
#include "tests/support/ps_builder.h"
#include "tests/support/test_support.h"

namespace kavrel::analysers {
namespace {

// An AC-3 header: sync, CRC, fscod/frmsizecod, bsid/bsmod, acmod + the rest of byte 5.
std::vector<uint8_t> ac3Header(int fscod, int frmsizecod, int bsid, int bsmod, int acmod) {
    return {0x0B,
            0x77,
            0x12,
            0x34,
            static_cast<uint8_t>((fscod << 6) | frmsizecod),
            static_cast<uint8_t>((bsid << 3) | bsmod),
            static_cast<uint8_t>(acmod << 5)};
}

// An E-AC-3 header: sync, strmtyp/substreamid/frmsiz, fscod/numblkscod/acmod/lfeon, bsid.
std::vector<uint8_t> eac3Header(int frmsiz, int fscod, int numblkscod, int acmod, bool lfe,
                                int bsid) {
    return {0x0B,
            0x77,
            static_cast<uint8_t>((frmsiz >> 8) & 0x07),
            static_cast<uint8_t>(frmsiz & 0xFF),
            static_cast<uint8_t>((fscod << 6) | (numblkscod << 4) | (acmod << 1) | (lfe ? 1 : 0)),
            static_cast<uint8_t>(bsid << 3),
            0x00};
}

std::vector<std::string> analyse(const std::vector<uint8_t>& payload, int number = 0) {
    return analyseAudio(AudioClass::DolbyDigital, LpcmCarriage::Video, payload, number).lines;
}

TEST(DolbyHeader, Ac3LinesAreExact) {
    const auto lines = analyse(ac3Header(1, 30, 8, 0, 7), 3);
    const std::vector<std::string> expected = {
        "   Stream 3 is [b]Dolby Digital[/b]",
        "   Sampling frequency = [bl]44.1[/bl] kHz",
        "   Transmission bitrate = [bl]448[/bl] kbit/s",
        "   Channel arrangement = [bl]L + R + C + Ls + Rs[/bl], bsid = 8, bsmod =0",
    };
    EXPECT_EQ(lines, expected);
}

TEST(DolbyHeader, Eac3LinesAreExactAndBitrateComesFromFrameSize) {
    // Frame size code 0x2FF with 6 blocks: 1536 bytes per 1536 samples, 384 kbit/s at 48 kHz,
    // and the same figure whatever the valid sampling rate code says.
    for (int fscod : {0, 1, 2}) {
        const auto lines = analyse(eac3Header(0x2FF, fscod, 3, 2, true, 16), 0);
        ASSERT_EQ(lines.size(), 6u) << fscod;
        EXPECT_EQ(lines[0], "   Stream 0 is [b]Dolby Digital Plus[/b]");
        EXPECT_EQ(lines[1], "   frame size = 1536 bytes, number of blocks per frame = 6");
        EXPECT_EQ(lines[3], "   Transmission bitrate = [bl]384[/bl] kbit/s");
        EXPECT_EQ(lines[4], "   Channel arrangement = [bl]L + R[/bl], bsid = 16");
        EXPECT_EQ(lines[5], "   LFE channel = [bl]present[/bl]");
    }
    EXPECT_EQ(analyse(eac3Header(0x2FF, 1, 3, 2, true, 16))[2],
              "   Sampling frequency = [bl]44.1[/bl] kHz");
    EXPECT_EQ(analyse(eac3Header(0x2FF, 2, 3, 2, false, 16))[5],
              "   LFE channel = [bl]not present[/bl]");
    // One block per frame: 750 / 1 frames per 4 seconds.
    EXPECT_EQ(analyse(eac3Header(0x0FF, 0, 0, 2, false, 16))[3],
              "   Transmission bitrate = [bl]768[/bl] kbit/s");
}

TEST(DolbyHeader, BsidDecidesBetweenAc3AndEac3) {
    for (int bsid : {0, 8, 10, 17, 31}) {
        const auto lines = analyse(ac3Header(0, 8, bsid, 0, 2));
        ASSERT_FALSE(lines.empty()) << bsid;
        EXPECT_EQ(lines[0], "   Stream 0 is [b]Dolby Digital[/b]") << bsid;
    }
    for (int bsid : {11, 16}) {
        const auto lines = analyse(eac3Header(0x100, 0, 3, 2, false, bsid));
        ASSERT_FALSE(lines.empty()) << bsid;
        EXPECT_EQ(lines[0], "   Stream 0 is [b]Dolby Digital Plus[/b]") << bsid;
    }
}

TEST(DolbyHeader, ChannelArrangementOfAc3ComesFromByteFive) {
    EXPECT_EQ(analyse(ac3Header(0, 8, 8, 5, 0))[3],
              "   Channel arrangement = [bl]dual mono[/bl], bsid = 8, bsmod =5");
    EXPECT_EQ(analyse(ac3Header(0, 8, 6, 1, 1))[3],
              "   Channel arrangement = [bl]mono[/bl], bsid = 6, bsmod =1");
}

TEST(DolbyHeader, OnlyTheFirstValidHeaderIsLogged) {
    auto payload = ac3Header(0, 8, 8, 0, 2);
    const auto second = ac3Header(0, 30, 8, 0, 7);
    payload.insert(payload.end(), second.begin(), second.end());
    EXPECT_EQ(analyse(payload).size(), 4u);
}

TEST(DolbyHeader, ReservedSamplingRateIsLoggedAndTheSearchGoesOn) {
    auto payload = ac3Header(3, 8, 8, 0, 2);
    const auto next = ac3Header(0, 30, 8, 0, 7);
    payload.insert(payload.end(), next.begin(), next.end());
    const auto lines = analyse(payload);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1], "   Sampling frequency = [bl]0[/bl] kHz");
    EXPECT_EQ(lines[2], "   Transmission bitrate = [bl]64[/bl] kbit/s");
    EXPECT_EQ(lines[5], "   Sampling frequency = [bl]48[/bl] kHz");
    EXPECT_EQ(lines[6], "   Transmission bitrate = [bl]448[/bl] kbit/s");

    // E-AC-3 with the reserved code shows the byte-3 look-up, not the recomputed rate:
    // byte 3 = 0xFF has bits 5-1 = 31, past the table, so the rate is unknown.
    auto plus = eac3Header(0x2FF, 3, 3, 7, true, 16);
    plus.insert(plus.end(), next.begin(), next.end());
    const auto plusLines = analyse(plus);
    ASSERT_EQ(plusLines.size(), 10u);
    EXPECT_EQ(plusLines[2], "   Sampling frequency = [bl]0[/bl] kHz");
    EXPECT_EQ(plusLines[3], "   Transmission bitrate = [bl]unknown[/bl] kbit/s");
    EXPECT_EQ(plusLines[6], "   Stream 0 is [b]Dolby Digital[/b]");
}

TEST(DolbyHeader, ReservedFrameSizeCodesSayUnknown) {
    // Codes 38-63 lie past the A/52 rate table; such a header is not taken as the stream's.
    for (int code : {38, 39, 50, 63}) {
        const auto lines = analyse(ac3Header(0, code, 8, 0, 2));
        ASSERT_EQ(lines.size(), 4u) << code;
        EXPECT_EQ(lines[2], "   Transmission bitrate = [bl]unknown[/bl] kbit/s") << code;
    }
    auto payload = ac3Header(0, 45, 8, 0, 2);
    const auto next = ac3Header(0, 30, 8, 0, 7);
    payload.insert(payload.end(), next.begin(), next.end());
    EXPECT_EQ(analyse(payload).size(), 8u);
}

TEST(DolbyHeader, CutOrMissingHeaderLogsNothing) {
    const auto header = ac3Header(0, 8, 8, 0, 2);
    for (std::size_t length = 0; length < header.size(); ++length) {
        const std::vector<uint8_t> cut(header.begin(), header.begin() + length);
        EXPECT_TRUE(analyse(cut).empty()) << length;
    }
    EXPECT_TRUE(analyse(std::vector<uint8_t>(500, 0x55)).empty());
}

TEST(DolbyHeader, SyncWordInsideTheHeaderIsSkipped) {
    // 0B 77 within the five header bytes is neither a header byte nor a new header: the
    // capture goes on with the byte after it.
    const std::vector<uint8_t> payload = {0x0B, 0x77, 0x0B, 0x77, 0x12, 0x10, 0x40, 0xE0, 0x00};
    // Header bytes taken: 0x0B (byte 1), 0x12 (2), 0x10 (3), 0x40 (4), 0xE0 (5).
    const auto headers = findDolbyHeaders(payload);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].bsid, 8);
    EXPECT_EQ(headers[0].acmod, 7);
    EXPECT_EQ(headers[0].bitrate.value_or(0), 128000u);  // frmsizecod 16
}

TEST(DolbyHeader, Eac3WithReservedRateSearchesOn) {
    auto payload = eac3Header(0x2FF, 3, 3, 2, false, 16);
    const auto next = eac3Header(0x17F, 0, 3, 2, false, 16);
    payload.insert(payload.end(), next.begin(), next.end());
    const auto headers = findDolbyHeaders(payload);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[1].bitrate.value_or(0), 192000u);
}

// --- LFE of AC-3 ---------------------------------------------------------------------------------

// An AC-3 header whose byte after bsid/bsmod holds acmod, the mix levels acmod calls for (all
// ones, so that a misplaced read finds a one) and lfeon.
std::vector<uint8_t> ac3HeaderWithLfe(int acmod, bool lfe) {
    test::BitWriter w;
    w.put(0x0B77, 16);
    w.put(0x1234, 16);  // crc1
    w.put(0, 2);        // 48 kHz
    w.put(30, 6);       // 448 kbit/s
    w.put(8, 5);        // bsid
    w.put(0, 3);        // bsmod
    w.put(static_cast<uint32_t>(acmod), 3);
    if ((acmod & 1) && acmod != 1) w.put(3, 2);  // cmixlev
    if (acmod & 4) w.put(3, 2);                  // surmixlev
    if (acmod == 2) w.put(3, 2);                 // dsurmod
    w.put(lfe ? 1 : 0, 1);
    w.put(0x1F, 5);  // dialnorm
    return w.bytes;
}

TEST(DolbyHeader, Ac3LfeIsReadAfterTheMixLevels) {
    struct Case {
        int acmod;
        int channels;  // without LFE
    };
    for (const Case& c :
         {Case{1, 1}, Case{2, 2}, Case{3, 3}, Case{4, 3}, Case{5, 4}, Case{6, 4}, Case{7, 5}}) {
        for (const bool lfe : {false, true}) {
            SCOPED_TRACE(std::to_string(c.acmod) + (lfe ? " with LFE" : ""));
            const auto a = analyseAudio(AudioClass::DolbyDigital, LpcmCarriage::Video,
                                        ac3HeaderWithLfe(c.acmod, lfe), 0);
            // The line comes only with LFE, so that the lines of other streams stay as they were.
            ASSERT_EQ(a.lines.size(), lfe ? 5u : 4u);
            if (lfe) {
                EXPECT_EQ(a.lines[4], "   LFE channel = [bl]present[/bl]");
            }
            EXPECT_EQ(a.facts.channels, c.channels + (lfe ? 1 : 0));
            EXPECT_EQ(a.facts.lfe, lfe);
            EXPECT_EQ(a.facts.frameSize, 1792u);
        }
    }
}

// --- E-AC-3 dependent substreams -----------------------------------------------------------------

// An E-AC-3 frame of `words` 16-bit words: its header fields, then zeros.
std::vector<uint8_t> eac3Frame(int strmtyp, int words, int acmod, bool lfe,
                               std::optional<uint16_t> chanmap) {
    test::BitWriter w;
    w.put(0x0B77, 16);
    w.put(static_cast<uint32_t>(strmtyp), 2);
    w.put(0, 3);  // substreamid
    w.put(static_cast<uint32_t>(words - 1), 11);
    w.put(0, 2);  // 48 kHz
    w.put(3, 2);  // 6 blocks
    w.put(static_cast<uint32_t>(acmod), 3);
    w.put(lfe ? 1 : 0, 1);
    w.put(16, 5);  // bsid
    w.put(31, 5);  // dialnorm
    w.put(1, 1);   // compre ...
    w.put(0xAA, 8);
    if (acmod == 0) w.put(0, 5 + 1);
    if (strmtyp == 1) {
        w.put(chanmap ? 1 : 0, 1);
        if (chanmap) w.put(*chanmap, 16);
    }
    auto bytes = w.bytes;
    bytes.resize(static_cast<std::size_t>(words) * 2, 0);
    return bytes;
}

TEST(DolbyHeader, Eac3DependentSubstreamAddsItsChannels) {
    constexpr uint16_t kBackPair = 0x0200;  // Lrs/Rrs
    constexpr uint16_t kWidePair = 0x0020;  // Lw/Rw
    struct Case {
        std::string name;
        std::vector<uint8_t> after;  // what follows the independent 5.1 frame
        std::vector<std::string> extra;
        int channels;
    };
    const std::vector<Case> cases = {
        {"7.1",
         eac3Frame(1, 256, 2, false, kBackPair),
         {"   Dependent substream = [bl]Lb + Rb[/bl]",
          "   Channel arrangement in all = [bl]L + R + C + Ls + Rs + Lb + Rb + LFE[/bl], "
          "channels = [bl]8[/bl]"},
         8},
        {"back and wide pairs over two dependent frames",
         [&] {
             auto two = eac3Frame(1, 128, 2, false, kBackPair);
             const auto wide = eac3Frame(1, 128, 2, false, kWidePair);
             two.insert(two.end(), wide.begin(), wide.end());
             return two;
         }(),
         {"   Dependent substream = [bl]Lb + Rb + Lw + Rw[/bl]",
          "   Channel arrangement in all = [bl]L + R + C + Ls + Rs + Lb + Rb + Lw + Rw + "
          "LFE[/bl], channels = [bl]10[/bl]"},
         10},
        {"no channel map: the channels replace the independent frame's",
         eac3Frame(1, 256, 2, false, std::nullopt),
         {"   Dependent substream = [bl]L + R[/bl]",
          "   Channel arrangement in all = [bl]L + R + C + Ls + Rs + LFE[/bl], channels = "
          "[bl]6[/bl]"},
         6},
        {"the next frame is independent", eac3Frame(0, 256, 7, true, std::nullopt), {}, 6},
        {"the dependent header is cut", std::vector<uint8_t>{0x0B, 0x77, 0x40, 0xFF, 0x34}, {}, 6},
        {"nothing follows", {}, {}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto payload = eac3Frame(0, 768, 7, true, std::nullopt);
        payload.insert(payload.end(), c.after.begin(), c.after.end());
        const auto a = analyseAudio(AudioClass::DolbyDigitalPlus, LpcmCarriage::Video, payload, 0);
        // The independent frame's lines stay as they are; the dependent frame's follow them.
        ASSERT_EQ(a.lines.size(), 6u + c.extra.size());
        EXPECT_EQ(a.lines[4], "   Channel arrangement = [bl]L + R + C + Ls + Rs[/bl], bsid = 16");
        EXPECT_EQ(a.lines[5], "   LFE channel = [bl]present[/bl]");
        EXPECT_EQ(std::vector<std::string>(a.lines.begin() + 6, a.lines.end()), c.extra);
        EXPECT_EQ(a.facts.channels, c.channels);
        EXPECT_EQ(a.facts.codecName, "eac3");
    }
}

// On HD DVD the dependent frame of a 7.1 programme comes in a later packet of its stream than the
// independent frame: the scanner gathers the stream's first bytes across its packets for the
// analyser, and the stream's report keeps its lines.
TEST(DolbyHeader, DependentFrameInALaterPacketIsFound) {
    using test::Bytes;
    auto frames = eac3Frame(0, 768, 7, true, std::nullopt);
    const auto dependent = eac3Frame(1, 256, 2, false, 0x0200);
    frames.insert(frames.end(), dependent.begin(), dependent.end());
    const auto part = [&frames](std::size_t from, std::size_t to) {
        const auto begin = frames.begin();
        return test::Pes(0xBD)
            .pts(from == 0 ? std::optional<uint64_t>(9000) : std::nullopt)
            .subHeader(test::audioSubHeader(0xC0))
            .payload(Bytes(begin + static_cast<std::ptrdiff_t>(from),
                           begin + static_cast<std::ptrdiff_t>(to)))
            .packet();
    };
    const Bytes ac3 = test::Pes(0xBD)
                          .pts(9000)
                          .subHeader(test::audioSubHeader(0x81))
                          .payload(ac3Header(0, 30, 8, 0, 7))
                          .packet();
    for (bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "both packets" : "the file ends after the first");
        test::PsBuilder ps;
        ps.pack({part(0, 1000)});
        ps.pack({ac3});  // another stream is met meanwhile
        if (whole) ps.pack({part(1000, frames.size())});
        test::ScanRun scan;
        scan.run(ps.bytes(), ScanMode::Read);
        const auto& log = scan.host.markup;
        const auto at = [&log](std::string_view line) {
            return std::find(log.begin(), log.end(), line) - log.begin();
        };
        const auto found = at("[b]Dolby Digital[/b] Plus audio stream 0 found!");
        EXPECT_EQ(at("   Substream id = C0"), found + 2);
        const auto first = at("   Stream 0 is [b]Dolby Digital Plus[/b]");
        EXPECT_GT(first, at("   Stream 1 is [b]Dolby Digital[/b]"));
        const auto dependentLine = at("   Dependent substream = [bl]Lb + Rb[/bl]");
        EXPECT_EQ(dependentLine, whole ? first + 6 : std::ssize(log));
        EXPECT_EQ(
            scan.state.streams[scan.state.streams.find(IdSpace::Private1, 0xC0)].facts.channels,
            whole ? 8 : 6);
    }
}

// --- Frames encoded by ffmpeg -----------------------------------------------------------------

struct Encoded {
    std::string codec;
    int sampleRate;
    int channels;
    int kbps;
    std::string rateText;
    std::string arrangement;
    bool lfe;
};

std::vector<uint8_t> encode(const Encoded& e) {
    const auto dir = test::tempDir("dolby");
    const auto out = dir / ("a." + e.codec);
    const std::string cmd =
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i sine=f=440:r=" +
        std::to_string(e.sampleRate) + ":d=0.5 -ac " + std::to_string(e.channels) + " -c:a " +
        e.codec + " -b:a " + std::to_string(e.kbps) + "k -f " + e.codec + " " +
        test::shellQuote(out.string());
    const auto result = test::runCommand(cmd);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return test::readFile(out);
}

TEST(DolbyHeader, FramesEncodedByFfmpeg) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const std::vector<Encoded> cases = {
        {"ac3", 48000, 6, 448, "48", "L + R + C + Ls + Rs", true},
        {"ac3", 44100, 2, 192, "44.1", "L + R", false},
        {"ac3", 48000, 1, 96, "48", "mono", false},
        {"ac3", 32000, 2, 128, "32", "L + R", false},
        {"eac3", 48000, 6, 384, "48", "L + R + C + Ls + Rs", true},
        {"eac3", 48000, 2, 192, "48", "L + R", false},
        {"eac3", 48000, 6, 640, "48", "L + R + C + Ls + Rs", true},
    };
    for (const auto& e : cases) {
        SCOPED_TRACE(e.codec + " " + std::to_string(e.kbps));
        const auto bytes = encode(e);
        ASSERT_GT(bytes.size(), 6000u);
        // A payload run starts anywhere in the stream: cut off the first few bytes.
        const std::vector<uint8_t> payload(bytes.begin() + 100, bytes.begin() + 6000);
        const auto lines = analyse(payload, 2);
        const bool plus = e.codec == "eac3";
        ASSERT_EQ(lines.size(), plus ? 6u : e.lfe ? 5u : 4u);
        EXPECT_EQ(lines[0], plus ? "   Stream 2 is [b]Dolby Digital Plus[/b]"
                                 : "   Stream 2 is [b]Dolby Digital[/b]");
        const std::size_t at = plus ? 2 : 1;
        EXPECT_EQ(lines[at], "   Sampling frequency = [bl]" + e.rateText + "[/bl] kHz");
        EXPECT_EQ(lines[at + 1],
                  "   Transmission bitrate = [bl]" + std::to_string(e.kbps) + "[/bl] kbit/s");
        EXPECT_TRUE(lines[at + 2].starts_with("   Channel arrangement = [bl]" + e.arrangement +
                                              "[/bl], bsid = " + (plus ? "16" : "8")))
            << lines[at + 2];
        if (plus) {
            EXPECT_EQ(lines[5], std::string("   LFE channel = [bl]") +
                                    (e.lfe ? "present" : "not present") + "[/bl]");
        } else if (e.lfe) {
            EXPECT_EQ(lines[4], "   LFE channel = [bl]present[/bl]");
        }
    }
}

}  // namespace
}  // namespace kavrel::analysers
