// The PGS writer: its segment layout, then the judgement of the peers on
// the sample disc's subpictures: ffmpeg decodes every caption at its times with the decoded
// pixels, mkvmerge takes the file as HDMV PGS and muxes it with the captions at their times.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/colour.h"
#include "formats/pgs_writer.h"
#include "tests/support/test_support.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using formats::Caption;

struct Segment {
    uint32_t pts;
    uint8_t type;
    Bytes body;
};

std::vector<Segment> segments(const Bytes& b) {
    std::vector<Segment> out;
    std::size_t at = 0;
    while (at + 13 <= b.size()) {
        EXPECT_EQ(b[at], 'P');
        EXPECT_EQ(b[at + 1], 'G');
        const uint32_t pts =
            uint32_t{b[at + 2]} << 24 | b[at + 3] << 16 | b[at + 4] << 8 | b[at + 5];
        const std::size_t size = std::size_t{b[at + 11]} << 8 | b[at + 12];
        out.push_back({pts, b[at + 10], Bytes(b.begin() + at + 13, b.begin() + at + 13 + size)});
        at += 13 + size;
    }
    EXPECT_EQ(at, b.size());
    return out;
}

// A noisy caption larger than one segment: its object is split into fragments, each segment
// within 65,535 bytes, the first announcing the whole length.
TEST(PgsWriter, LargeObjectsAreFragmentedAndSetsAreComplete) {
    Caption c;
    c.start = 90000;
    c.end = 180000;
    c.bitmap = {10, 900, 1900, 100, Bytes(190000)};
    for (std::size_t i = 0; i < c.bitmap.pixels.size(); ++i)
        c.bitmap.pixels[i] = static_cast<uint8_t>(1 + i * 7919 % 251);
    Bytes out;
    std::vector<std::string> log;
    formats::PgsWriter writer(
        1920, 1080, [&](std::span<const uint8_t> s) { out.insert(out.end(), s.begin(), s.end()); },
        [&](const std::string& line) { log.push_back(line); });
    writer.caption(c);
    const auto all = segments(out);

    std::string types;
    std::size_t objectBytes = 0, announced = 0;
    std::vector<uint8_t> flags;
    for (const Segment& s : all) {
        types += std::to_string(s.type) + " ";
        EXPECT_EQ(s.pts, &s < &all[all.size() - 3] ? 90000u : 180000u) << types;
        if (s.type != 0x15) continue;
        flags.push_back(s.body[3]);
        const bool first = s.body[3] & 0x80;
        if (first) announced = std::size_t{s.body[4]} << 16 | s.body[5] << 8 | s.body[6];
        objectBytes += s.body.size() - (first ? 7 : 4);
    }
    // 190,000 pixels of no two alike in a row: three fragments.
    EXPECT_EQ(types, "22 23 20 21 21 21 128 22 23 128 ");
    EXPECT_EQ(flags, (std::vector<uint8_t>{0x80, 0x00, 0x40}));
    EXPECT_EQ(objectBytes, announced);
    EXPECT_TRUE(log.empty());

    // Replaced by the next caption: no empty set; reaching past the frame: cut, said once;
    // forced on like its unit.
    c.replacedByNext = true;
    c.forced = true;
    c.bitmap = {1900, 1070, 40, 20, Bytes(800, 3)};
    out.clear();
    writer.caption(c);
    writer.caption(c);
    types.clear();
    for (const Segment& s : segments(out)) types += std::to_string(s.type) + " ";
    EXPECT_EQ(types, "22 23 20 21 128 22 23 20 21 128 ");
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(segments(out)[1].body, (Bytes{1, 0, 0x07, 0x6C, 0x04, 0x2E, 0, 20, 0, 10}));
    EXPECT_EQ(segments(out)[0].body[14], 0x40);
}

// --- The peers -------------------------------------------------------------------------------

struct Stream {
    fs::path sup;      // the generator's .sup file
    std::string size;  // the video frame
    fs::path pgs;      // ours
    std::vector<Caption> captions;
};

Stream convert(const std::string& caption, const std::string& size) {
    Stream s;
    s.size = size;
    for (const auto& e : sampleDisc().streams)
        if (e.caption == caption && s.sup.empty()) s.sup = e.expected;
    s.captions = supCaptions(readFile(s.sup));
    s.pgs = tempDir("pgs") / (s.sup.stem().string() + ".pgs.sup");
    const auto r = runCommand(shellQuote(KAVREL_CLI_PATH) + " subs -q --size " + size + " --pgs " +
                              shellQuote(s.pgs.string()) + " " + shellQuote(s.sup.string()));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return s;
}

std::vector<Stream> streams() {
    return {convert("Ext.Subpicture.01", "1920x1080"), convert("Subpicture.00", "720x576")};
}

// Display set times as pairs of time and whether it shows a picture.
std::vector<std::pair<uint32_t, bool>> displaySets(const Stream& s) {
    std::vector<std::pair<uint32_t, bool>> sets;
    for (const Caption& c : s.captions) {
        sets.emplace_back(c.start, true);
        if (c.end && !c.replacedByNext) sets.emplace_back(*c.end, false);
    }
    return sets;
}

TEST(PgsPeers, FfmpegShowsEachCaptionAtItsTimesWithItsPixels) {
    if (!haveTool("ffmpeg") || !haveTool("ffprobe")) GTEST_SKIP() << "no ffmpeg";
    for (const Stream& s : streams()) {
        SCOPED_TRACE(s.sup.filename().string());
        ASSERT_FALSE(s.captions.empty());
        const std::string in = shellQuote(s.pgs.string());
        auto decode = runCommand("ffmpeg -v error -i " + in +
                                 " -filter_complex '[0:s]null[v]' -map '[v]' -fps_mode passthrough "
                                 "-enc_time_base 1/90000 -f null -");
        EXPECT_EQ(decode.exitCode, 0);
        EXPECT_EQ(decode.err, "");

        // Subtitle times in microseconds, with 1 for a set that shows a picture.
        auto probe =
            runCommand("ffprobe -v error -show_entries subtitle=pts,num_rects -of csv=p=0 " + in);
        ASSERT_EQ(probe.exitCode, 0) << probe.err;
        std::istringstream lines(probe.out);
        const auto expected = displaySets(s);
        std::size_t n = 0;
        for (std::string line; std::getline(lines, line); ++n) {
            ASSERT_LT(n, expected.size());
            const double ticks = std::stod(line) * 90000 / 1e6;
            EXPECT_NEAR(ticks, expected[n].first, 1.0) << "display set " << n;
            EXPECT_EQ(line.ends_with(",1"), expected[n].second) << line;
        }
        EXPECT_EQ(n, expected.size());

        // The picture ffmpeg renders while each caption is shown (its frames come at the
        // caption's start and just before its end), cut to the caption's area.
        for (const Caption& c : s.captions) {
            const formats::Bitmap& b = c.bitmap;
            ASSERT_TRUE(c.end.has_value());
            std::ostringstream filter;
            filter << "[0:s]select='gte(t," << (c.start + *c.end) / 2 << "/90000)',crop=" << b.width
                   << ":" << b.height << ":" << b.x << ":" << b.y << ",format=rgba[v]";
            const fs::path raw = tempDir("pgs-frame") / "frame.rgba";
            auto r = runCommand("ffmpeg -v error -copyts -i " + in + " -filter_complex " +
                                shellQuote(filter.str()) + " -map '[v]' -frames:v 1 -f rawvideo " +
                                shellQuote(raw.string()));
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const Bytes rgba = readFile(raw);
            ASSERT_EQ(rgba.size(), b.pixels.size() * 4);
            // Alpha exactly; colours (where visible) within the rounding of the conversion.
            std::size_t wrong = 0;
            for (std::size_t i = 0; i < b.pixels.size(); ++i) {
                const formats::Rgba e =
                    formats::toRgba(c.palette[b.pixels[i]], formats::ColourMatrix::Bt709);
                const uint8_t* got = &rgba[4 * i];
                bool ok = got[3] == e.a;
                if (e.a != 0)
                    ok = ok && std::abs(got[0] - e.r) <= 1 && std::abs(got[1] - e.g) <= 1 &&
                         std::abs(got[2] - e.b) <= 1;
                wrong += !ok;
            }
            EXPECT_EQ(wrong, 0u) << "caption at " << c.start;
        }
    }
}

TEST(PgsPeers, MkvmergeMuxesTheCaptionsAtTheirTimes) {
    if (!haveTool("mkvmerge") || !haveTool("ffprobe")) GTEST_SKIP() << "no mkvmerge";
    for (const Stream& s : streams()) {
        SCOPED_TRACE(s.sup.filename().string());
        const std::string in = shellQuote(s.pgs.string());
        auto identify = runCommand("mkvmerge -J " + in);
        ASSERT_EQ(identify.exitCode, 0);
        EXPECT_NE(identify.out.find("\"codec\": \"HDMV PGS\""), std::string::npos) << identify.out;

        const fs::path mkv = tempDir("pgs-mkv") / "captions.mkv";
        auto mux = runCommand("mkvmerge -q -o " + shellQuote(mkv.string()) + " " + in);
        ASSERT_EQ(mux.exitCode, 0) << mux.out;
        auto probe = runCommand("ffprobe -v error -show_entries packet=pts_time -of csv=p=0 " +
                                shellQuote(mkv.string()));
        ASSERT_EQ(probe.exitCode, 0);
        std::istringstream lines(probe.out);
        const auto expected = displaySets(s);
        std::size_t n = 0;
        for (std::string line; std::getline(lines, line); ++n) {
            ASSERT_LT(n, expected.size());
            // Matroska keeps times in milliseconds.
            EXPECT_NEAR(std::stod(line), expected[n].first / 90000.0, 0.0006) << n;
        }
        EXPECT_EQ(n, expected.size());
    }
}

}  // namespace
}  // namespace kavrel::test
