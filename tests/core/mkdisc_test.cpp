// The sample disc: pack structure, navigation data, stream data without stray start codes,
// .sup entry chains, and the independent view of ffmpeg/ffprobe on the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/mkdisc/mkdisc.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

uint32_t be16(const Bytes& b, std::size_t at) {
    return uint32_t{b[at]} << 8 | b[at + 1];
}
uint32_t be32(const Bytes& b, std::size_t at) {
    return be16(b, at) << 16 | be16(b, at + 2);
}

// A 33-bit PTS or DTS field.
uint64_t timestamp(const uint8_t* t) {
    return (uint64_t{t[0]} & 0x0E) << 29 | uint64_t{t[1]} << 22 | (uint64_t{t[2]} >> 1) << 15 |
           uint64_t{t[3]} << 7 | t[4] >> 1;
}

// The 33-bit base of a pack header's system clock reference.
uint64_t scrBase(const uint8_t* p) {
    return (uint64_t{p[4]} & 0x38) << 27 | (uint64_t{p[4]} & 0x03) << 28 | uint64_t{p[5]} << 20 |
           (uint64_t{p[6]} >> 3) << 15 | (uint64_t{p[6]} & 0x03) << 13 | uint64_t{p[7]} << 5 |
           p[8] >> 3;
}

std::vector<fs::path> programFiles(const mkdisc::Layout& disc) {
    return {disc.feature1, disc.feature2, disc.h264Evo,     disc.mpeg2Evo,
            disc.vob,      disc.aob,      disc.surroundAob, disc.mixedAob};
}

const mkdisc::StreamEntry& entry(const mkdisc::Layout& disc, const std::string& file,
                                 const std::string& caption) {
    for (const auto& e : disc.streams)
        if (e.file == file && e.caption == caption) return e;
    throw std::runtime_error("no stream " + caption + " in " + file);
}

// Walks every pack: a pack header, then PES packets whose lengths add up to exactly the end
// of the pack. Collects the problems found, so one failure names them all.
std::vector<std::string> packProblems(const fs::path& file) {
    Bytes b = readFile(file);
    std::vector<std::string> problems;
    auto problem = [&](std::size_t at, const std::string& what) {
        if (problems.size() < 10)
            problems.push_back(file.filename().string() + " @" + std::to_string(at) + ": " + what);
    };
    if (b.size() % 2048 != 0) problem(b.size(), "size not whole packs");
    uint64_t previousScr = 0;
    for (std::size_t pack = 0; pack + 2048 <= b.size(); pack += 2048) {
        if (be32(b, pack) != 0x000001BA || (b[pack + 4] & 0xC4) != 0x44 ||
            (b[pack + 13] & 0x07) != 0) {
            problem(pack, "no MPEG-2 pack header");
            continue;
        }
        uint64_t scr = scrBase(&b[pack]);
        if (scr <= previousScr) problem(pack, "SCR does not rise");
        previousScr = scr;
        std::size_t at = pack + 14;
        while (at < pack + 2048) {
            if (at + 6 > pack + 2048 || be16(b, at) != 0 || b[at + 2] != 1) {
                problem(at, "no packet start code");
                break;
            }
            uint8_t id = b[at + 3];
            std::size_t end = at + 6 + be16(b, at + 4);
            if (end > pack + 2048) problem(at, "packet runs past its pack");
            bool pes = id != 0xBB && id != 0xBE && id != 0xBF;
            if (pes && (b[at + 6] & 0xC0) != 0x80) problem(at, "no PES header");
            // Data arrives before it is presented.
            if (pes && (b[at + 7] & 0x80) && timestamp(&b[at + 9]) <= scr)
                problem(at, "PTS not after the pack's SCR");
            // Video packets that carry a PTS carry a DTS too.
            if (pes && (id == 0xFD || (id & 0xF0) == 0xE0) && (b[at + 7] & 0xC0) == 0x80)
                problem(at, "video PTS without DTS");
            at = end;
        }
    }
    return problems;
}

TEST(SampleDisc, FilesAreWholePacksOfWellFormedPackets) {
    const auto& disc = sampleDisc();
    for (const auto& file : programFiles(disc)) {
        SCOPED_TRACE(file.string());
        auto size = fs::file_size(file);
        EXPECT_GT(size, 1u << 20);
        EXPECT_NE(size % (256 * 1024), 0u) << "a whole number of 256 KiB chunks";
        EXPECT_EQ(packProblems(file), std::vector<std::string>{});
    }
    EXPECT_TRUE(fs::exists(disc.playlist));
}

TEST(SampleDisc, FirstPackCarriesTheSystemHeaderWithStreamBounds) {
    const auto& disc = sampleDisc();
    struct Case {
        fs::path file;
        unsigned audio, video;
    };
    for (const auto& c : {Case{disc.feature1, 5, 1}, Case{disc.vob, 4, 1}, Case{disc.aob, 2, 0},
                          Case{disc.h264Evo, 2, 1}}) {
        SCOPED_TRACE(c.file.string());
        Bytes b = readFile(c.file);
        ASSERT_EQ(be32(b, 14), 0x000001BBu);
        EXPECT_EQ(b[23] >> 2, c.audio);
        EXPECT_EQ(b[24] & 0x1F, c.video);
        uint32_t rateBound = (uint32_t{b[20]} & 0x7F) << 15 | uint32_t{b[21]} << 7 | b[22] >> 1;
        uint32_t muxRate = uint32_t{b[10]} << 14 | uint32_t{b[11]} << 6 | b[12] >> 2;
        EXPECT_GE(rateBound, muxRate);
    }
}

// An independent walk over the packs that rebuilds what a demux writes: the payload of each
// stream (after the sub-stream header of private stream 1: 1 byte for subpictures, 7 for
// LPCM, 5 for TrueHD, 4 otherwise; in a DVD-Audio file 4 + the stated header length for LPCM
// and 10 for MLP), subpicture packets with a PTS behind an "SP" header.
std::map<int, Bytes> demuxByHand(const std::vector<fs::path>& files) {
    struct Packet {
        int key;
        uint64_t pts;
        bool timed;
        Bytes data;
    };
    std::vector<Packet> packets;
    for (const auto& file : files) {
        Bytes b = readFile(file);
        const bool aob = file.extension() == ".AOB";
        for (std::size_t pack = 0; pack + 2048 <= b.size(); pack += 2048) {
            std::size_t at = pack + 14;
            while (at + 9 < pack + 2048 && be16(b, at) == 0 && b[at + 2] == 1) {
                uint8_t id = b[at + 3];
                std::size_t end = at + 6 + be16(b, at + 4);
                if (id == 0xBB || id == 0xBE || id == 0xBF) {
                    at = end;
                    continue;
                }
                uint8_t flags = b[at + 7];
                std::size_t payload = at + 9 + b[at + 8];
                Packet p{id, 0, (flags & 0x80) != 0, {}};
                if (p.timed) p.pts = timestamp(&b[at + 9]);
                if (id == 0xFD) {
                    std::size_t x = at + 9 + (flags & 0x80 ? 5 : 0) + (flags & 0x40 ? 5 : 0);
                    std::size_t ext = x + 1 + (b[x] & 0x10 ? 2 : 0);
                    p.key = b[ext + 1] & 0x7F;
                } else if (id == 0xBD) {
                    uint8_t sub = b[payload];
                    p.key = 0x100 | sub;
                    if ((sub & 0xC0) == 0x00 || (sub & 0xE0) == 0x60)
                        payload += 1;
                    else if (aob && sub == 0xA1)
                        payload += 10;
                    else if (aob && (sub & 0xF8) == 0xA0)
                        payload += 4 + be16(b, payload + 2);
                    else if ((sub & 0xF8) == 0xA0)
                        payload += 7;
                    else if ((sub & 0xF8) == 0xB0)
                        payload += 5;
                    else
                        payload += 4;
                }
                p.data.assign(b.begin() + static_cast<long>(payload),
                              b.begin() + static_cast<long>(end));
                packets.push_back(std::move(p));
                at = end;
            }
        }
    }
    // Subpicture times are relative to the smallest first PTS of any stream of the run.
    std::map<int, uint32_t> first;
    for (const auto& p : packets)
        if (p.timed && !first.count(p.key)) first[p.key] = static_cast<uint32_t>(p.pts);
    uint32_t least = UINT32_MAX;
    for (const auto& [key, pts] : first) least = std::min(least, pts);
    std::map<int, Bytes> out;
    for (const auto& p : packets) {
        Bytes& o = out[p.key];
        bool subpicture = (p.key & 0x1C0) == 0x100 || (p.key & 0x1E0) == 0x160;
        if (subpicture && p.timed) {
            uint32_t t = static_cast<uint32_t>(p.pts) - least;
            o.insert(o.end(),
                     {'S', 'P', static_cast<uint8_t>(t), static_cast<uint8_t>(t >> 8),
                      static_cast<uint8_t>(t >> 16), static_cast<uint8_t>(t >> 24), 0, 0, 0, 0});
        }
        o.insert(o.end(), p.data.begin(), p.data.end());
    }
    return out;
}

TEST(SampleDisc, ExpectedOutputsAreWhatThePacksCarry) {
    const auto& disc = sampleDisc();
    std::vector<std::vector<fs::path>> runs = {{disc.feature1, disc.feature2},
                                               {disc.h264Evo},
                                               {disc.mpeg2Evo},
                                               {disc.vob},
                                               {disc.aob},
                                               {disc.surroundAob},
                                               {disc.mixedAob}};
    std::size_t compared = 0;
    for (const auto& files : runs) {
        SCOPED_TRACE(files.front().string());
        auto streams = demuxByHand(files);
        std::size_t expected = 0;
        for (const auto& e : disc.streams) {
            if (e.file != files.front().filename().string()) continue;
            ++expected;
            int key = e.kind == "video" ? e.id : 0x100 | e.id;
            ASSERT_TRUE(streams.count(key)) << e.caption;
            EXPECT_TRUE(readFile(e.expected) == streams[key]) << e.expected;
            ++compared;
        }
        EXPECT_EQ(streams.size(), expected) << "a stream without an expected output";
    }
    EXPECT_EQ(compared, 8u + 4 + 4 + 6 + 2 + 1 + 1);
}

// DVD-Audio private headers as discs carry them: a continuity counter, a length that is 11 in
// the first LPCM packet and covers some padding in later ones, the format fields; MLP's length 6.
TEST(SampleDisc, DvdAudioPacketsStateTheirHeaderLength) {
    const auto& disc = sampleDisc();
    struct Case {
        fs::path file;
        Bytes fields;  // LPCM header bytes 6-11: stereo flag, depths, rates, 0, assignment, 0x80
    };
    for (const auto& c : {Case{disc.aob, {0x10, 0x0F, 0x8F, 0x00, 0x01, 0x80}},
                          Case{disc.surroundAob, {0x00, 0x22, 0x00, 0x00, 0x11, 0x80}},
                          Case{disc.mixedAob, {0x00, 0x20, 0x10, 0x00, 0x0C, 0x80}}}) {
        SCOPED_TRACE(c.file.string());
        Bytes b = readFile(c.file);
        std::map<uint8_t, std::vector<std::size_t>> headers;  // by sub-stream id
        for (std::size_t pack = 0; pack + 2048 <= b.size(); pack += 2048) {
            const std::size_t at = pack + 14;
            if (be32(b, at) != 0x000001BD) continue;
            headers[b[at + 9 + b[at + 8]]].push_back(at + 9 + b[at + 8]);
        }
        ASSERT_FALSE(headers[0xA0].empty());
        for (const auto& [id, offsets] : headers) {
            for (std::size_t i = 0; i < offsets.size(); ++i) {
                const std::size_t h = offsets[i];
                ASSERT_EQ(b[h + 1], i % 32) << "continuity counter of packet " << i;
                if (id == 0xA1) {
                    ASSERT_EQ(be16(b, h + 2), 6u);
                    continue;
                }
                const uint32_t length = be16(b, h + 2);
                if (i == 0) {
                    EXPECT_EQ(length, 11u);
                }
                ASSERT_GE(length, 11u);
                ASSERT_TRUE(std::equal(c.fields.begin(), c.fields.end(), b.begin() + h + 6));
                for (std::size_t pad = h + 12; pad < h + 4 + length; ++pad) ASSERT_EQ(b[pad], 0);
            }
        }
    }
}

// The first navigation pack's DSI: VOB number, first and end time of the video, one entry per
// audio and subpicture stream (the VOB's lists sit 128 bytes earlier).
TEST(SampleDisc, NavigationDataMatchesTheVideo) {
    const auto& disc = sampleDisc();
    struct Case {
        fs::path file;
        std::string video;
        uint32_t vobNumber;
        std::size_t lists;
        unsigned audio, subpictures;
        double fps;
    };
    for (const auto& c : {Case{disc.feature1, "VC-1.stream.0", 1, 530, 5, 2, 24000.0 / 1001},
                          Case{disc.feature2, "VC-1.stream.0", 2, 530, 5, 2, 24000.0 / 1001},
                          Case{disc.vob, "MPEG-2.stream.0", 1, 402, 4, 1, 25.0}}) {
        SCOPED_TRACE(c.file.string());
        Bytes b = readFile(c.file);
        std::size_t dsi = 0;
        for (std::size_t at = 0; at + 6 < 2048; ++at)
            if (be32(b, at) == 0x000001BF && b[at + 6] == 0x01) dsi = at + 7;
        ASSERT_NE(dsi, 0u);
        const auto& video = entry(disc, c.file.filename().string(), c.video);
        EXPECT_EQ(be16(b, dsi + 24), c.vobNumber);
        uint32_t first = be32(b, dsi + 44), last = be32(b, dsi + 48);
        EXPECT_EQ(first, video.firstPts);
        EXPECT_NEAR((last - first) / 90000.0, static_cast<double>(video.units) / c.fps, 0.001);
        unsigned audio = 0, subpictures = 0;
        for (std::size_t i = 0; i < 8; ++i) audio += be16(b, dsi + c.lists + 2 * i) != 0;
        for (std::size_t i = 0; i < 32; ++i)
            subpictures += be32(b, dsi + c.lists + 16 + 4 * i) != 0;
        EXPECT_EQ(audio, c.audio);
        EXPECT_EQ(subpictures, c.subpictures);
    }
}

// Every start code in a video stream is one written on purpose; the frame start codes count
// the frames of both feature files.
TEST(SampleDisc, VideoStreamsHaveOnlyTheirOwnStartCodes) {
    const auto& disc = sampleDisc();
    struct Case {
        std::string file, caption;
        std::vector<uint8_t> allowed;
        uint8_t frameCode;
    };
    for (const auto& c :
         {Case{"FEATURE_1.EVO", "VC-1.stream.0", {0x0D, 0x0E, 0x0F}, 0x0D},
          Case{"H264_1.EVO", "H.264.stream.0", {0x09, 0x67, 0x68, 0x65, 0x41}, 0x09},
          Case{"MPEG2_1.EVO", "MPEG-2.stream.0", {0x00, 0x01, 0xB3, 0xB5, 0xB8}, 0x00},
          Case{"VTS_01_1.VOB", "MPEG-2.stream.0", {0x00, 0x01, 0xB3, 0xB5, 0xB8}, 0x00}}) {
        SCOPED_TRACE(c.caption + " of " + c.file);
        const auto& stream = entry(disc, c.file, c.caption);
        uint64_t frames = 0;
        for (const auto& e : disc.streams)
            if (e.expected == stream.expected) frames += e.units;
        Bytes b = readFile(stream.expected);
        uint64_t counted = 0;
        std::map<int, int> stray;
        for (std::size_t i = 0; i + 3 < b.size(); ++i) {
            if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1) continue;
            if (b[i + 3] == c.frameCode) ++counted;
            if (std::find(c.allowed.begin(), c.allowed.end(), b[i + 3]) == c.allowed.end())
                ++stray[b[i + 3]];
        }
        EXPECT_EQ(counted, frames);
        EXPECT_TRUE(stray.empty()) << stray.size() << " kinds of stray start codes";
        ASSERT_GE(b.size(), 4u);
        EXPECT_EQ(be32(b, 0) >> 8, 1u) << "the stream begins with a start code";
    }
}

// A .sup file is a chain of entries: "SP", time, four zero bytes, one whole unit whose size
// field leads exactly to the next entry.
TEST(SampleDisc, SubpictureOutputsAreUnbrokenEntryChains) {
    const auto& disc = sampleDisc();
    std::size_t files = 0;
    for (const auto& e : disc.streams) {
        if (e.kind != "subpicture" || e.file == "FEATURE_2.EVO") continue;
        SCOPED_TRACE(e.expected.string());
        ++files;
        Bytes b = readFile(e.expected);
        bool extended = e.caption.starts_with("Ext.");
        uint64_t entries = 0, previousTime = 0;
        std::size_t at = 0;
        while (at < b.size()) {
            ASSERT_LE(at + 16, b.size());
            ASSERT_EQ(b[at], 'S');
            ASSERT_EQ(b[at + 1], 'P');
            uint32_t time =
                b[at + 2] | b[at + 3] << 8 | b[at + 4] << 16 | uint32_t{b[at + 5]} << 24;
            EXPECT_EQ(be32(b, at + 6), 0u);
            EXPECT_GT(time, previousTime) << "entry times rise and are relative to the first PTS";
            previousTime = time;
            std::size_t unit = at + 10;
            std::size_t size = extended ? be32(b, unit + 2) : be16(b, unit);
            if (extended) {
                EXPECT_EQ(be16(b, unit), 0u);
            }
            ASSERT_GT(size, 2048u) << "units span several packets";
            at = unit + size;
            ++entries;
        }
        EXPECT_EQ(at, b.size());
        uint64_t units = 0;
        for (const auto& other : disc.streams)
            if (other.expected == e.expected) units += other.units;
        EXPECT_EQ(entries, units);
    }
    EXPECT_EQ(files, 5u);
}

TEST(SampleDisc, FeatureTwoContinuesTheTimeline) {
    const auto& disc = sampleDisc();
    uint32_t least = UINT32_MAX;
    for (const auto& e : disc.streams)
        if (e.file.starts_with("FEATURE_")) least = std::min(least, e.firstPts);
    const auto& first = entry(disc, "FEATURE_1.EVO", "VC-1.stream.0");
    const auto& second = entry(disc, "FEATURE_2.EVO", "VC-1.stream.0");
    EXPECT_EQ(least, first.firstPts) << "the first video packet has the lowest PTS";
    EXPECT_EQ(second.firstPts - first.firstPts, first.units * 375375 / 100);
}

// AC-3 frames protect their first 5/8 with crc1 and the whole frame with crc2; E-AC-3 frames
// have crc2 only. A block with a correct CRC leaves a zero remainder.
TEST(SampleDisc, DolbyFramesCarryValidCrcs) {
    auto remainder = [](const uint8_t* data, std::size_t n) {
        uint32_t crc = 0;
        for (std::size_t i = 0; i < n; ++i) {
            crc ^= uint32_t{data[i]} << 8;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x8000) ? (crc << 1) ^ 0x18005 : crc << 1;
        }
        return crc;
    };
    const auto& disc = sampleDisc();
    struct Case {
        std::string file, caption;
        std::size_t frameBytes;
        bool crc1;
    };
    for (const auto& c : {Case{"VTS_01_1.VOB", "DD.stream.00", 1792, true},
                          Case{"VTS_01_1.VOB", "DD.stream.01", 768, true},
                          Case{"FEATURE_1.EVO", "DD+.stream.00", 2560, false}}) {
        SCOPED_TRACE(c.caption + " of " + c.file);
        Bytes b = readFile(entry(disc, c.file, c.caption).expected);
        ASSERT_EQ(b.size() % c.frameBytes, 0u);
        std::size_t words = c.frameBytes / 2;
        std::size_t fiveEighths = 2 * ((words >> 1) + (words >> 3));
        for (std::size_t at = 0; at < b.size(); at += c.frameBytes) {
            ASSERT_EQ(be16(b, at), 0x0B77u);
            if (c.crc1) {
                ASSERT_EQ(remainder(&b[at + 2], fiveEighths - 2), 0u) << "frame @" << at;
            }
            ASSERT_EQ(remainder(&b[at + 2], c.frameBytes - 2), 0u) << "frame @" << at;
        }
    }
}

// The H.264 file's clock runs past 2^32: its 33-bit time stamps have bit 32 set, and what is
// announced is their low 32 bits.
TEST(SampleDisc, H264VariantTimeStampsUseBit32) {
    const auto& disc = sampleDisc();
    Bytes b = readFile(disc.h264Evo);
    std::size_t pes = 0;
    for (std::size_t pack = 0; pack + 2048 <= b.size() && !pes; pack += 2048)
        if (be32(b, pack + 14) == 0x000001E2) pes = pack + 14;
    ASSERT_NE(pes, 0u);
    ASSERT_EQ(b[pes + 7] & 0xC0, 0xC0) << "PTS and DTS";
    uint64_t pts = timestamp(&b[pes + 9]);
    EXPECT_EQ(pts >> 32, 1u);
    EXPECT_EQ(static_cast<uint32_t>(pts), entry(disc, "H264_1.EVO", "H.264.stream.0").firstPts);
}

TEST(SampleDisc, SameSeedSameBytesOtherSeedOtherBytes) {
    mkdisc::Options small;
    small.featureBytes = small.variantBytes = small.vobBytes = small.aobBytes = 300 * 1024;
    small.expected = false;
    auto a = mkdisc::writeSampleDisc(tempDir("seed-a"), small);
    auto b = mkdisc::writeSampleDisc(tempDir("seed-b"), small);
    small.seed = 2;
    auto c = mkdisc::writeSampleDisc(tempDir("seed-c"), small);
    auto filesA = programFiles(a), filesB = programFiles(b), filesC = programFiles(c);
    for (std::size_t i = 0; i < filesA.size(); ++i) {
        SCOPED_TRACE(filesA[i].filename().string());
        EXPECT_EQ(readFile(filesA[i]), readFile(filesB[i]));
        // The LPCM-only DVD-Audio files hold tones and headers, nothing drawn from the seed.
        if (filesA[i] != a.surroundAob && filesA[i] != a.mixedAob) {
            EXPECT_NE(readFile(filesA[i]), readFile(filesC[i]));
        }
    }
    EXPECT_TRUE(a.expectedDir.empty());
    EXPECT_FALSE(fs::exists(a.feature1.parent_path().parent_path() / "expected"));
}

// ffprobe, an independent reader, finds the streams it knows (it has no reader for the HD DVD
// extended subpictures).
TEST(SampleDiscPeers, FfprobeListsTheStreams) {
    if (!haveTool("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    const auto& disc = sampleDisc();
    struct Case {
        fs::path file;
        std::string video;
        int audio, subtitles;
    };
    for (const auto& c : {Case{disc.feature1, "vc1", 5, 1}, Case{disc.vob, "mpeg2video", 4, 1},
                          Case{disc.mpeg2Evo, "mpeg2video", 2, 1}}) {
        SCOPED_TRACE(c.file.string());
        auto r =
            runCommand("ffprobe -v quiet -of csv=p=0 -show_entries stream=codec_type,codec_name " +
                       shellQuote(c.file.string()));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto count = [&](const std::string& text) {
            int n = 0;
            for (std::size_t at = r.out.find(text); at != std::string::npos;
                 at = r.out.find(text, at + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(count(c.video + ",video"), 1) << r.out;
        EXPECT_EQ(count(",audio"), c.audio) << r.out;
        EXPECT_EQ(count("dvd_subtitle,subtitle"), c.subtitles) << r.out;
    }
}

// ffprobe reads the sequence and frame headers of the demuxed streams as this tool meant them.
TEST(SampleDiscPeers, FfprobeReadsTheStreamHeaders) {
    if (!haveTool("ffprobe")) GTEST_SKIP() << "ffprobe not installed";
    const auto& disc = sampleDisc();
    struct Case {
        std::string file, caption, format, fields, expected;
    };
    const std::string video = "codec_name,profile,width,height,r_frame_rate";
    const std::string audio = "codec_name,sample_rate,channels";
    for (const auto& c : {
             Case{"FEATURE_1.EVO", "VC-1.stream.0", "vc1", video,
                  "vc1,Advanced,1920,1080,24000/1001"},
             Case{"H264_1.EVO", "H.264.stream.0", "h264", video, "h264,High,1920,1080,24000/1001"},
             Case{"MPEG2_1.EVO", "MPEG-2.stream.0", "mpegvideo", video,
                  "mpeg2video,Main,1920,1080,24000/1001"},
             Case{"VTS_01_1.VOB", "MPEG-2.stream.0", "mpegvideo", video,
                  "mpeg2video,Main,720,576,25/1"},
             Case{"FEATURE_1.EVO", "DD+.stream.00", "eac3", audio, "eac3,48000,6"},
             Case{"FEATURE_1.EVO", "DD.stream.04", "ac3", audio, "ac3,48000,6"},
             Case{"VTS_01_1.VOB", "DD.stream.01", "ac3", audio, "ac3,48000,2"},
         }) {
        SCOPED_TRACE(c.caption + " of " + c.file);
        auto r = runCommand("ffprobe -v quiet -f " + c.format +
                            " -of csv=p=0 -show_entries stream=" + c.fields + " " +
                            shellQuote(entry(disc, c.file, c.caption).expected.string()));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out.starts_with(c.expected)) << r.out;
    }
}

TEST(SampleDiscPeers, FfmpegExtractsTheSameAc3AndVc1) {
    if (!haveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    const auto& disc = sampleDisc();
    fs::path out = tempDir("peer");
    auto r = runCommand("ffmpeg -v error -nostdin -i " + shellQuote(disc.vob.string()) +
                        " -map 0:a:0 -c copy -f ac3 " + shellQuote((out / "a.ac3").string()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(out / "a.ac3"),
              readFile(entry(disc, "VTS_01_1.VOB", "DD.stream.00").expected));

    // The feature's VC-1 output holds both files; FEATURE_1 alone gives its first part.
    r = runCommand("ffmpeg -v error -nostdin -i " + shellQuote(disc.feature1.string()) +
                   " -map 0:v:0 -c copy -f vc1 " + shellQuote((out / "v.vc1").string()));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Bytes part = readFile(out / "v.vc1");
    Bytes whole = readFile(entry(disc, "FEATURE_1.EVO", "VC-1.stream.0").expected);
    ASSERT_GT(part.size(), 1u << 20);
    ASSERT_LT(part.size(), whole.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
}

}  // namespace
}  // namespace kavrel::test
