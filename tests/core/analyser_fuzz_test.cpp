// Every analyser over cut and damaged input: each prefix and each tail of real headers, and
// random bytes salted with sync words. Each run lies in a buffer of exactly its own size, so an
// AddressSanitizer build of the suite reports any read past the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "analysers/analysers.h"
#include "tests/support/test_support.h"

namespace kavrel::analysers {
namespace {

// Runs every analyser over one run; returns the number of lines, so nothing is optimised away.
std::size_t analyseAll(const std::vector<uint8_t>& run, const std::vector<uint8_t>& header) {
    std::size_t lines = 0;
    for (const auto audioClass :
         {AudioClass::DolbyDigital, AudioClass::DolbyDigitalPlus, AudioClass::Dts, AudioClass::Lpcm,
          AudioClass::TrueHd, AudioClass::MpegAudio}) {
        for (const auto carriage :
             {LpcmCarriage::Video, LpcmCarriage::DvdAudio, LpcmCarriage::DvdAudioMlp}) {
            lines += analyseAudio(audioClass, carriage, run, 15, header).lines.size();
        }
        // The scanner gathers at most one largest E-AC-3 frame and a header past the run.
        EXPECT_LE(audioBytesWanted(audioClass, run), run.size() + 4096 + 16);
    }
    for (const auto kind : {VideoKind::Mpeg2, VideoKind::H264, VideoKind::Vc1}) {
        const auto a = analyseVideo(kind, run, 1);
        EXPECT_GE(a.frameRate, 0.0);
        EXPECT_LT(a.frameRate, 1e6);
        lines += a.lines.size();
    }
    return lines;
}

// Every prefix and every tail of the bytes, each in its own exact-size buffer.
void cutEveryWay(const std::vector<uint8_t>& bytes) {
    const std::vector<uint8_t> header(
        bytes.begin(), bytes.begin() + std::min<std::ptrdiff_t>(8, std::ssize(bytes)));
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        analyseAll(
            std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)),
            header);
        analyseAll(
            std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(n), bytes.end()),
            std::vector<uint8_t>(header.begin(),
                                 header.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min<std::size_t>(n, header.size()))));
    }
}

// Starts of headers of every format the analysers know, so the random bytes reach past the sync
// words into the field parsing.
const std::vector<std::vector<uint8_t>> kSyncs = {
    {0x0B, 0x77},
    {0x7F, 0xFE, 0x80, 0x01},
    {0x64, 0x58, 0x20, 0x25},
    {0xF8, 0x72, 0x6F, 0xBA},
    {0xF8, 0x72, 0x6F, 0xBB},
    {0x00, 0x00, 0x01, 0x0F, 0xC0},
    {0x00, 0x00, 0x01, 0x67, 0x64},
    {0x00, 0x00, 0x01, 0xB3},
    {0x00, 0x00, 0x01, 0xB5, 0x14},
    {0x00, 0x00, 0x03},
};

TEST(AnalyserFuzz, RandomBytesWithSyncWords) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> run(random() % 700);
        // Half the runs are sparse (mostly zero bytes, as in padding and Exp-Golomb codes).
        const bool sparse = round % 2 == 0;
        for (auto& b : run) b = static_cast<uint8_t>(sparse && random() % 4 ? 0 : random());
        for (auto plant = random() % 6; plant > 0 && !run.empty(); --plant) {
            const auto& sync = kSyncs[random() % kSyncs.size()];
            const std::size_t at = random() % run.size();
            for (std::size_t i = 0; i < sync.size() && at + i < run.size(); ++i) {
                run[at + i] = sync[i];
            }
        }
        std::vector<uint8_t> header(random() % 12);
        for (auto& b : header) b = static_cast<uint8_t>(random());
        analyseAll(run, header);
    }
}

TEST(AnalyserFuzz, EveryCutOfEncodedStreams) {
    if (!test::haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    const auto dir = test::tempDir("fuzz");
    const std::string audio = "-f lavfi -i sine=f=440:r=48000:d=0.1 -ac 6 ";
    const std::string video = "-f lavfi -i testsrc=size=320x240:rate=25 -t 0.1 -pix_fmt yuv420p ";
    const std::vector<std::string> encodes = {
        audio + "-c:a ac3 -f ac3",
        audio + "-c:a eac3 -f eac3",
        audio + "-c:a dca -strict -2 -f dts",
        audio + "-c:a truehd -strict -2 -f truehd",
        "-f lavfi -i sine=f=440:r=48000:d=0.1 -ac 2 -c:a mlp -strict -2 -f mlp",
        video + "-c:v mpeg2video -f mpeg2video",
        video + "-c:v libx264 -f h264",
    };
    int made = 0;
    for (const auto& args : encodes) {
        const auto out = dir / ("stream" + std::to_string(made));
        const auto result = test::runCommand("ffmpeg -nostdin -hide_banner -loglevel error -y " +
                                             args + " " + test::shellQuote(out.string()));
        if (result.exitCode != 0) continue;  // an encoder this ffmpeg lacks
        ++made;
        auto bytes = test::readFile(out);
        bytes.resize(std::min<std::size_t>(bytes.size(), 400));
        SCOPED_TRACE(args);
        cutEveryWay(bytes);
        // The same with every byte flipped in turn, for damaged fields behind a good sync word.
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            auto damaged = bytes;
            damaged[i] = static_cast<uint8_t>(~damaged[i]);
            analyseAll(damaged, {});
        }
    }
    EXPECT_GT(made, 0);
}

}  // namespace
}  // namespace kavrel::analysers
