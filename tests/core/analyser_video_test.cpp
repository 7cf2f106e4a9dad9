// Video header analysis: VC-1 sequence headers built field by field, H.264 parameter sets built
// by hand and encoded by libx264, MPEG-2 sequence headers encoded by ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "analysers/h264.h"
#include "analysers/vc1.h"
#include "tests/support/bit_writer.h"
#include "tests/support/test_support.h"

namespace kavrel::analysers {
namespace {

using test::BitWriter;
using test::containsLine;

// Inserts the emulation-prevention byte 0x03 wherever two zero bytes meet a byte below 4.
std::vector<uint8_t> escape(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out;
    int zeros = 0;
    for (const uint8_t b : raw) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(0x03);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

std::vector<uint8_t> withStartCode(uint8_t code, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> unit = {0x00, 0x00, 0x01, code};
    unit.insert(unit.end(), body.begin(), body.end());
    return unit;
}

constexpr std::array<uint8_t, 3> kEscaped = {0x00, 0x00, 0x03};

// --- VC-1 ---------------------------------------------------------------------------------------

struct Vc1Fields {
    int level = 3;
    int width = 1920;
    int height = 1080;
    bool interlace = false;
    bool displayExt = true;
    int displayWidth = 1920;
    int displayHeight = 1080;
    int aspectCode = 1;  // 1:1; 15 explicit; -1 no aspect ratio
    int aspectW = 0, aspectH = 0;
    int frameRateNr = 1, frameRateDr = 2;  // 24 / 1.001
    int frameRateExp = -1;                 // >= 0: explicit rate
    bool frameRate = true;
};

std::vector<uint8_t> vc1SequenceHeader(const Vc1Fields& f) {
    BitWriter w;
    w.put(3, 2);  // PROFILE: advanced
    w.put(static_cast<uint32_t>(f.level), 3);
    w.put(1, 2);  // COLORDIFF_FORMAT 4:2:0
    w.put(0, 3);  // FRMRTQ_POSTPROC
    w.put(0, 5);  // BITRTQ_POSTPROC
    w.put(0, 1);  // POSTPROCFLAG
    w.put(static_cast<uint32_t>(f.width / 2 - 1), 12);
    w.put(static_cast<uint32_t>(f.height / 2 - 1), 12);
    w.put(0, 1);  // PULLDOWN
    w.put(f.interlace ? 1 : 0, 1);
    w.put(0, 1);  // TFCNTRFLAG
    w.put(0, 1);  // FINTERPFLAG
    w.put(1, 1);  // reserved
    w.put(0, 1);  // PSF
    w.put(f.displayExt ? 1 : 0, 1);
    if (f.displayExt) {
        w.put(static_cast<uint32_t>(f.displayWidth - 1), 14);
        w.put(static_cast<uint32_t>(f.displayHeight - 1), 14);
        w.put(f.aspectCode >= 0 ? 1 : 0, 1);
        if (f.aspectCode >= 0) {
            w.put(static_cast<uint32_t>(f.aspectCode), 4);
            if (f.aspectCode == 15) {
                w.put(static_cast<uint32_t>(f.aspectW), 8);
                w.put(static_cast<uint32_t>(f.aspectH), 8);
            }
        }
        w.put(f.frameRate ? 1 : 0, 1);
        if (f.frameRate) {
            w.put(f.frameRateExp >= 0 ? 1 : 0, 1);
            if (f.frameRateExp >= 0) {
                w.put(static_cast<uint32_t>(f.frameRateExp), 16);
            } else {
                w.put(static_cast<uint32_t>(f.frameRateNr), 8);
                w.put(static_cast<uint32_t>(f.frameRateDr), 4);
            }
        }
        w.put(0, 1);  // COLOR_FORMAT_FLAG
    }
    w.put(0, 1);  // HRD_PARAM_FLAG
    w.trailing();
    return withStartCode(0x0F, escape(w.bytes));
}

Analysis analyseVc1(const std::vector<uint8_t>& header) {
    // An entry point header follows the sequence header in a real stream.
    auto run = header;
    const std::vector<uint8_t> entry = {0x00, 0x00, 0x01, 0x0E, 0x48, 0x00, 0x00};
    run.insert(run.end(), entry.begin(), entry.end());
    return analyseVideo(VideoKind::Vc1, run, 1);
}

TEST(Vc1Header, AdvancedProfileFields) {
    const auto a = analyseVc1(vc1SequenceHeader({}));
    const std::vector<std::string> expected = {
        "   Stream 1 is [b]VC-1[/b]",
        "   Profile = [bl]Advanced[/bl], level = [bl]3[/bl]",
        "   Coded size = [bl]1920 x 1080[/bl], [bl]progressive[/bl]",
        "   Chroma format = [bl]4:2:0[/bl]",
        "   Display size = [bl]1920 x 1080[/bl]",
        "   Sample aspect ratio = [bl]1:1[/bl]",
        "   Display aspect ratio = [bl]1.78:1[/bl]",
        "   Frame rate = [bl]23.976[/bl] fps",
    };
    EXPECT_EQ(a.lines, expected);
    EXPECT_NEAR(a.frameRate, 24000.0 / 1001.0, 1e-9);
}

TEST(Vc1Header, FrameRateForms) {
    Vc1Fields f;
    f.frameRateNr = 2;  // 25
    f.frameRateDr = 1;
    f.interlace = true;
    f.width = 720;
    f.height = 576;
    f.displayWidth = 720;
    f.displayHeight = 576;
    f.aspectCode = 15;
    f.aspectW = 64;
    f.aspectH = 45;
    auto a = analyseVc1(vc1SequenceHeader(f));
    EXPECT_DOUBLE_EQ(a.frameRate, 25.0);
    EXPECT_TRUE(containsLine(a.lines, "   Coded size = [bl]720 x 576[/bl], [bl]interlaced[/bl]"));
    EXPECT_TRUE(containsLine(a.lines, "   Sample aspect ratio = [bl]64:45[/bl]"));

    f.frameRateExp = 30 * 32 - 1;  // explicit: 30 frames per second
    EXPECT_DOUBLE_EQ(analyseVc1(vc1SequenceHeader(f)).frameRate, 30.0);

    // Reserved numerator and denominator codes, and no frame rate at all, give none.
    f.frameRateExp = -1;
    f.frameRateNr = 9;
    EXPECT_EQ(analyseVc1(vc1SequenceHeader(f)).frameRate, 0.0);
    f.frameRateNr = 1;
    f.frameRateDr = 3;
    EXPECT_EQ(analyseVc1(vc1SequenceHeader(f)).frameRate, 0.0);
    f.frameRate = false;
    a = analyseVc1(vc1SequenceHeader(f));
    EXPECT_EQ(a.frameRate, 0.0);
    EXPECT_TRUE(containsLine(a.lines, "   Frame rate = [bl]not given[/bl]"));
    f.displayExt = false;
    a = analyseVc1(vc1SequenceHeader(f));
    EXPECT_EQ(a.frameRate, 0.0);
    EXPECT_FALSE(a.lines.empty());
}

TEST(Vc1Header, TabledSampleAspectRatiosEndAtCode13) {
    Vc1Fields f;
    f.aspectCode = 13;
    EXPECT_TRUE(containsLine(analyseVc1(vc1SequenceHeader(f)).lines,
                             "   Sample aspect ratio = [bl]160:99[/bl]"));
    // Code 14 is reserved in VC-1 (H.264 gives it 4:3): no ratio, rather than a wrong one.
    f.aspectCode = 14;
    for (const std::string& line : analyseVc1(vc1SequenceHeader(f)).lines)
        EXPECT_EQ(line.find("aspect ratio"), std::string::npos) << line;
}

TEST(Vc1Header, EmulationPreventionBytesAreRemoved) {
    // A tiny coded size makes the header hold 00 00 00, which the stream carries as 00 00 03 00.
    Vc1Fields f;
    f.width = 2;
    f.height = 2;
    const auto header = vc1SequenceHeader(f);
    ASSERT_NE(std::search(header.begin(), header.end(), kEscaped.begin(), kEscaped.end()),
              header.end());
    const auto a = analyseVc1(header);
    EXPECT_TRUE(containsLine(a.lines, "   Coded size = [bl]2 x 2[/bl], [bl]progressive[/bl]"));
    EXPECT_TRUE(containsLine(a.lines, "   Display size = [bl]1920 x 1080[/bl]"));
    EXPECT_NEAR(a.frameRate, 23.976, 1e-3);
}

TEST(Vc1Header, OtherStartCodesAndProfilesAreNotTaken) {
    // A frame start code alone, or a sequence header of the simple/main profile layout.
    const std::vector<uint8_t> frame = {0x00, 0x00, 0x01, 0x0D, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(analyseVideo(VideoKind::Vc1, frame, 0).lines.empty());
    auto header = vc1SequenceHeader({});
    header[4] &= 0x3F;  // profile 0
    EXPECT_TRUE(analyseVideo(VideoKind::Vc1, header, 0).lines.empty());
}

// --- H.264 --------------------------------------------------------------------------------------

// A Main profile SPS of 1920 x 1080 (1088 coded, 8 rows cropped), with or without VUI timing.
std::vector<uint8_t> mainProfileSps(bool timing, uint32_t unitsInTick, uint32_t timeScale) {
    BitWriter w;
    w.put(77, 8);  // profile_idc
    w.put(0, 8);   // constraint flags
    w.put(40, 8);  // level_idc
    w.ue(0);       // seq_parameter_set_id
    w.ue(0);       // log2_max_frame_num_minus4
    w.ue(2);       // pic_order_cnt_type
    w.ue(4);       // max_num_ref_frames
    w.put(0, 1);
    w.ue(119);    // 120 macroblocks wide
    w.ue(67);     // 68 map units high
    w.put(1, 1);  // frame_mbs_only_flag
    w.put(1, 1);  // direct_8x8_inference_flag
    w.put(1, 1);  // frame_cropping_flag
    w.ue(0);
    w.ue(0);
    w.ue(0);
    w.ue(4);                   // 4 * 2 rows at the bottom
    w.put(timing ? 1 : 0, 1);  // vui_parameters_present_flag
    if (timing) {
        w.put(1, 1);  // aspect_ratio_info_present_flag
        w.put(1, 8);  // 1:1
        w.put(0, 1);  // overscan
        w.put(0, 1);  // video signal type
        w.put(0, 1);  // chroma location
        w.put(1, 1);  // timing_info_present_flag
        w.put(unitsInTick, 32);
        w.put(timeScale, 32);
        w.put(1, 1);
        w.put(0, 5);  // no HRD, no pic struct, no bitstream restriction
    }
    w.trailing();
    std::vector<uint8_t> nal = {0x00, 0x00, 0x00, 0x01, 0x67};
    const auto body = escape(w.bytes);
    nal.insert(nal.end(), body.begin(), body.end());
    return nal;
}

TEST(H264Header, HandBuiltSequenceParameterSets) {
    // An access unit delimiter first, as in a broadcast or disc stream.
    std::vector<uint8_t> run = {0x00, 0x00, 0x00, 0x01, 0x09, 0x10};
    const auto sps = mainProfileSps(true, 1, 50);
    run.insert(run.end(), sps.begin(), sps.end());
    auto a = analyseVideo(VideoKind::H264, run, 0);
    const std::vector<std::string> expected = {
        "   Stream 0 is [b]H.264 (AVC)[/b]",
        "   Profile = [bl]Main[/bl], level = [bl]4[/bl]",
        "   Size = [bl]1920 x 1080[/bl], [bl]progressive[/bl]",
        "   Chroma format = [bl]4:2:0[/bl], bit depth = [bl]8[/bl]",
        "   Sample aspect ratio = [bl]1:1[/bl]",
        "   Frame rate = [bl]25[/bl] fps",
    };
    EXPECT_EQ(a.lines, expected);
    EXPECT_DOUBLE_EQ(a.frameRate, 25.0);
    // num_units_in_tick = 1 is stored as 00 00 00 01: only with the 0x03 removed is it 25 fps.
    EXPECT_NE(std::search(sps.begin(), sps.end(), kEscaped.begin(), kEscaped.end()), sps.end());

    a = analyseVideo(VideoKind::H264, mainProfileSps(true, 1001, 60000), 0);
    EXPECT_NEAR(a.frameRate, 29.97, 1e-3);

    // Without timing information the film rate is assumed, and said to be.
    a = analyseVideo(VideoKind::H264, mainProfileSps(false, 0, 0), 0);
    EXPECT_NEAR(a.frameRate, 23.976, 1e-3);
    EXPECT_EQ(a.lines.back(),
              "   Frame rate = [bl]23.976[/bl] fps (assumed, no timing information)");
    // A zero tick, or a tick far too short for any video, is no timing either.
    EXPECT_NEAR(analyseVideo(VideoKind::H264, mainProfileSps(true, 1, 0xFFFFFFFF), 0).frameRate,
                23.976, 1e-3);
    EXPECT_NEAR(analyseVideo(VideoKind::H264, mainProfileSps(true, 0, 50), 0).frameRate, 23.976,
                1e-3);
}

TEST(H264Header, StreamsEncodedByLibx264) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        std::string size, rate, extra;
        double fps;
        std::string sizeLine;
    };
    const std::vector<Case> cases = {
        {"1280x720", "24000/1001", "", 24000.0 / 1001.0,
         "   Size = [bl]1280 x 720[/bl], [bl]progressive[/bl]"},
        {"1920x1080", "30000/1001", "", 30000.0 / 1001.0,
         "   Size = [bl]1920 x 1080[/bl], [bl]progressive[/bl]"},
        {"720x576", "25", "-flags +ildct+ilme -x264-params interlaced=1:tff=1", 25.0,
         "   Size = [bl]720 x 576[/bl], [bl]interlaced[/bl]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const auto path = test::tempDir("h264") / "v.h264";
        const auto result = test::runCommand(
            "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=" + c.size +
            ":rate=" + c.rate + " -t 0.2 -pix_fmt yuv420p -c:v libx264 -profile:v high " + c.extra +
            " -f h264 " + test::shellQuote(path.string()));
        if (result.exitCode != 0 && result.err.find("libx264") != std::string::npos) {
            GTEST_SKIP() << "libx264 is not available";
        }
        ASSERT_EQ(result.exitCode, 0) << result.err;
        auto bytes = test::readFile(path);
        bytes.resize(std::min<std::size_t>(bytes.size(), 2000));
        const auto a = analyseVideo(VideoKind::H264, bytes, 0);
        ASSERT_GE(a.lines.size(), 4u);
        EXPECT_TRUE(a.lines[1].starts_with("   Profile = [bl]High[/bl], level = [bl]"))
            << a.lines[1];
        EXPECT_EQ(a.lines[2], c.sizeLine);
        EXPECT_EQ(a.lines[3], "   Chroma format = [bl]4:2:0[/bl], bit depth = [bl]8[/bl]");
        // time_scale counts field periods, so half of it is the frame rate in both cases.
        EXPECT_NEAR(a.frameRate, c.fps, 1e-6);
    }
}

// --- MPEG-2 -------------------------------------------------------------------------------------

TEST(Mpeg2Header, StreamsEncodedByFfmpeg) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        std::string size, rate, extra;
        double fps;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"720x576",
         "25",
         "-aspect 4:3",
         25.0,
         {"   Stream 0 is [b]MPEG-2[/b] video",
          "   Size = [bl]720 x 576[/bl], [bl]progressive[/bl]", "   Aspect ratio = [bl]4:3[/bl]",
          "   Frame rate = [bl]25[/bl] fps", "   Bitrate = [bl]8000[/bl] kbit/s",
          "   Profile = [bl]Main@Main[/bl], chroma format = [bl]4:2:0[/bl]"}},
        {"720x480",
         "30000/1001",
         "-aspect 16:9 -flags +ilme+ildct",
         30000.0 / 1001.0,
         {"   Stream 0 is [b]MPEG-2[/b] video", "   Size = [bl]720 x 480[/bl], [bl]interlaced[/bl]",
          "   Aspect ratio = [bl]16:9[/bl]", "   Frame rate = [bl]29.97[/bl] fps",
          "   Bitrate = [bl]8000[/bl] kbit/s",
          "   Profile = [bl]Main@Main[/bl], chroma format = [bl]4:2:0[/bl]"}},
        {"1920x1080",
         "24000/1001",
         "-aspect 16:9",
         24000.0 / 1001.0,
         {"   Stream 0 is [b]MPEG-2[/b] video",
          "   Size = [bl]1920 x 1080[/bl], [bl]progressive[/bl]", "   Aspect ratio = [bl]16:9[/bl]",
          "   Frame rate = [bl]23.976[/bl] fps", "   Bitrate = [bl]8000[/bl] kbit/s",
          "   Profile = [bl]Main@High[/bl], chroma format = [bl]4:2:0[/bl]"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const auto path = test::tempDir("mpeg2") / "v.m2v";
        const auto result = test::runCommand(
            "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=" + c.size +
            ":rate=" + c.rate + " -t 0.2 -pix_fmt yuv420p -c:v mpeg2video -b:v 6M -maxrate 8M " +
            "-bufsize 1835k " + c.extra + " -f mpeg2video " + test::shellQuote(path.string()));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const auto bytes = test::readFile(path);
        // The run may start before the sequence header, inside other data.
        std::vector<uint8_t> run = {0x12, 0x00, 0x00};
        run.insert(run.end(), bytes.begin(),
                   bytes.begin() + std::min<std::ptrdiff_t>(std::ssize(bytes), 3000));
        const auto a = analyseVideo(VideoKind::Mpeg2, run, 0);
        EXPECT_EQ(a.lines, c.lines);
        EXPECT_NEAR(a.frameRate, c.fps, 1e-9);
    }
}

TEST(Mpeg2Header, SequenceHeaderWithoutExtensionIsMpeg1) {
    // 352 x 288, 4:3, 25 fps, 1150 kbit/s, no quantiser matrices, then a GOP header.
    const std::vector<uint8_t> run = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, 0x23, 0x00, 0x0B,
                                      0x3B, 0x20, 0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x40};
    const auto a = analyseVideo(VideoKind::Mpeg2, run, 0);
    ASSERT_GE(a.lines.size(), 5u);
    EXPECT_EQ(a.lines[0], "   Stream 0 is [b]MPEG-1[/b] video");
    EXPECT_EQ(a.lines[1], "   Size = [bl]352 x 288[/bl]");
    EXPECT_DOUBLE_EQ(a.frameRate, 25.0);
    // A sequence header cut inside its quantiser matrix is not reported.
    std::vector<uint8_t> cut = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, 0x23,
                                0x00, 0x0B, 0x3B, 0x22, 0x10, 0x10, 0x10};
    EXPECT_TRUE(analyseVideo(VideoKind::Mpeg2, cut, 0).lines.empty());
}

}  // namespace
}  // namespace kavrel::analysers
