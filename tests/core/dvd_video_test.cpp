// DVD-Video discs read through their IFO files: titles as lsdvd reads them, the same bytes from
// a folder, a split VOB and an image, and damaged tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "dvdvideo/interleave.h"
#include "dvdvideo/video_disc.h"
#include "formats/vobsub_writer.h"
#include "tests/support/test_support.h"

namespace kavrel::dvdvideo {
namespace {

namespace fs = std::filesystem;
using test::dvdDiscs;

// A title as lsdvd prints it: length, chapter starts, audio and subtitle languages. lsdvd cuts
// each cell's time to whole milliseconds, so times are compared to 10 ms.
std::string summary(const VideoTitle& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%d %.2f", t.title.number, t.title.durationSeconds);
    std::string out = text;
    for (const TitleChapter& c : t.title.chapters) {
        std::snprintf(text, sizeof text, " c%.2f", c.seconds);
        out += text;
    }
    for (const TitleTrack& track : t.title.tracks)
        if (track.kind != StreamKind::Video)
            out += (track.kind == StreamKind::Audio ? " a:" : " s:") + track.language;
    return out + "\n";
}

std::string lsdvdSummary(const fs::path& disc) {
    const std::string script =
        "import ast,sys\n"
        "d=ast.literal_eval(sys.stdin.read().split('=',1)[1])\n"
        "for t in d['track']:\n"
        "  s='%d %.2f'%(t['ix'],t['length']); at=0\n"
        "  for c in t['chapter']: s+=' c%.2f'%at; at+=c['length']\n"
        "  s+=''.join(' a:'+a['langcode'] for a in t['audio'])\n"
        "  s+=''.join(' s:'+a['langcode'] for a in t['subp'])\n"
        "  print(s)\n";
    return test::runCommand("lsdvd -x -Oy " + test::quoted(disc) + " 2>/dev/null | python3 -c " +
                            test::shellQuote(script))
        .out;
}

std::string titleBytes(const DiscTitle& title) {
    std::string bytes;
    for (const ByteRange& r : title.ranges) {
        std::ifstream in(r.file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(r.offset));
        std::string part(r.length, '\0');
        in.read(part.data(), static_cast<std::streamsize>(r.length));
        EXPECT_EQ(in.gcount(), static_cast<std::streamsize>(r.length)) << r.file;
        bytes += part;
    }
    return bytes;
}

TEST(DvdVideo, TitlesAsLsdvdReadsThemFromFolderImageAndSplitVobs) {
    const auto& discs = dvdDiscs();
    ASSERT_FALSE(discs.folder.empty()) << "make_dvd.sh failed";
    std::string problem;
    const auto folder = readVideoDisc(discs.folder, 1, problem);
    ASSERT_TRUE(folder) << problem;
    ASSERT_EQ(folder->titles.size(), 2u);
    const std::string expected = lsdvdSummary(discs.folder);
    ASSERT_EQ(expected.substr(0, 2), "1 ");
    std::vector<std::string> vobBytes;
    for (const fs::path& disc : {discs.folder, discs.folder / "VIDEO_TS", discs.iso, discs.split}) {
        const auto read = readVideoDisc(disc, 1, problem);
        ASSERT_TRUE(read) << disc << ": " << problem;
        std::string got;
        for (const VideoTitle& t : read->titles) got += summary(t);
        EXPECT_EQ(got, expected) << disc;
        vobBytes.push_back(titleBytes(read->titles[0].title));
    }
    for (const std::string& bytes : vobBytes) EXPECT_TRUE(bytes == vobBytes[0]);
    EXPECT_EQ(vobBytes[0].size(), fs::file_size(discs.folder / "VIDEO_TS/VTS_01_1.VOB"));

    const VideoTitle& main = folder->titles[0];
    EXPECT_TRUE(main.title.mainFeature);
    EXPECT_FALSE(folder->titles[1].title.mainFeature);
    EXPECT_EQ(main.titleSet, 1);
    EXPECT_EQ(folder->titles[1].titleSet, 2);
    EXPECT_EQ(main.aspect, "4:3");
    EXPECT_EQ(folder->titles[1].aspect, "16:9");
    EXPECT_EQ(main.standard, "NTSC");
    EXPECT_EQ(std::pair(main.title.width, main.title.height), std::pair(352, 240));  // as encoded
    ASSERT_EQ(main.title.tracks.size(), 5u);
    EXPECT_EQ(main.title.tracks[1].key, 0x80);
    EXPECT_EQ(main.title.tracks[2].key, 0x81);
    EXPECT_EQ(main.title.tracks[2].codec, "AC-3");
    EXPECT_EQ(main.title.tracks[2].channels, 2);
    EXPECT_EQ(main.title.tracks[4].key, 0x21);
    ASSERT_TRUE(main.title.palette);
    // The captions' yellow, blue and red, as the PNGs had them (within the YCrCb rounding).
    auto near = [&](uint32_t rgb) {
        for (uint32_t c : *main.title.palette) {
            int off = 0;
            for (int shift : {0, 8, 16})
                off =
                    std::max(off, std::abs(int((c >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)));
            if (off <= 6) return true;
        }
        return false;
    };
    EXPECT_TRUE(near(0xFCFC00) && near(0x0000FF) && near(0xFC0000));
}

// Copies the folder disc, damages it, reads it.
struct Damage {
    const char* name;
    std::function<void(const fs::path& videoTs)> apply;
    int titles;           // read; 0: the disc as a whole fails
    const char* problem;  // in the disc's problem, or in its one title problem
};

void overwrite(const fs::path& file, std::size_t at, std::size_t count, char value) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    const std::string bytes(count, value);
    f.write(bytes.data(), static_cast<std::streamsize>(count));
}

void both(const fs::path& videoTs, const char* stem,
          const std::function<void(const fs::path&)>& f) {
    f(videoTs / (std::string(stem) + ".IFO"));
    f(videoTs / (std::string(stem) + ".BUP"));
}

TEST(DvdVideo, DamagedTablesAndFilesSayWhy) {
    ASSERT_FALSE(dvdDiscs().folder.empty());
    auto truncate = [](uint64_t size) {
        return [=](const fs::path& f) { fs::resize_file(f, size); };
    };
    auto zero = [](const fs::path& f) { overwrite(f, 0, fs::file_size(f), 0); };
    auto garble = [](const fs::path& f) { overwrite(f, 0x80, 0x700, '\xff'); };
    const Damage cases[] = {
        {"intact", [](const fs::path&) {}, 2, ""},
        {"VMG truncated", [&](const fs::path& v) { both(v, "VIDEO_TS", truncate(100)); }, 0,
         "VIDEO_TS.IFO"},
        {"VMG zeroed", [&](const fs::path& v) { both(v, "VIDEO_TS", zero); }, 0, "VIDEO_TS.IFO"},
        {"VMG garbled", [&](const fs::path& v) { both(v, "VIDEO_TS", garble); }, 0, "VIDEO_TS.IFO"},
        // The title table at the file's end (libdvdread would free it twice).
        {"VMG title table at its end",
         [](const fs::path& v) {
             overwrite(v / "VIDEO_TS.IFO", 0xC4, 4, 0), overwrite(v / "VIDEO_TS.IFO", 0xC7, 1, 3);
         },
         0, "VIDEO_TS.IFO is damaged: a table it names lies past its end"},
        {"VMG gone", [](const fs::path& v) { fs::remove(v / "VIDEO_TS.IFO"); }, 0,
         "no VIDEO_TS.IFO"},
        {"VTS zeroed", [&](const fs::path& v) { both(v, "VTS_01_0", zero); }, 1,
         "title 1: VTS_01_0.IFO is damaged: it does not begin with DVDVIDEO-VTS"},
        {"VTS truncated", [&](const fs::path& v) { both(v, "VTS_02_0", truncate(3000)); }, 1,
         "title 2: VTS_02_0.IFO is damaged: a table it names lies past its end"},
        {"VTS garbled", [&](const fs::path& v) { both(v, "VTS_01_0", garble); }, 1, "title 1: "},
        {"VOB missing", [](const fs::path& v) { fs::remove(v / "VTS_02_1.VOB"); }, 1,
         "title 2: VTS_02_1.VOB is missing"},
        {"VOB short of the cells",
         [](const fs::path& v) { fs::resize_file(v / "VTS_01_1.VOB", 100 * 2048); }, 1,
         "lies past the end of the title set's VOB files (100 sectors)"},
        {"scrambled",
         [](const fs::path& v) {
             // The first video packet's flags byte, PES_scrambling_control = 01.
             const std::vector<uint8_t> vob = test::readFile(v / "VTS_01_1.VOB");
             for (std::size_t at = 0; at + 7 < 32 * 2048; at += 2048)
                 for (std::size_t p = at + 14; p + 7 < at + 2048; ++p)
                     if (vob[p] == 0 && vob[p + 1] == 0 && vob[p + 2] == 1 && vob[p + 3] == 0xE0) {
                         overwrite(v / "VTS_01_1.VOB", p + 6, 1, char(vob[p + 6] | 0x10));
                         return;
                     }
         },
         0, "this disc is encrypted; Kavrel reads unencrypted discs only"},
    };
    for (const Damage& c : cases) {
        const fs::path disc = test::tempDir("damaged");
        fs::copy(dvdDiscs().folder, disc, fs::copy_options::recursive);
        c.apply(disc / "VIDEO_TS");
        std::string problem;
        const auto read = readVideoDisc(disc, 1, problem);
        if (c.titles == 0) {
            EXPECT_FALSE(read) << c.name;
            EXPECT_NE(problem.find(c.problem), std::string::npos) << c.name << ": " << problem;
            // Without tables each title set's VOB files are read as they are; never when
            // encrypted.
            const auto vobs = readVideoDiscOrVobs(disc, 1, problem);
            ASSERT_EQ(bool(vobs), c.problem != kEncryptedDisc) << c.name << ": " << problem;
            if (!vobs) continue;
            ASSERT_EQ(vobs->titles.size(), 2u) << c.name;
            EXPECT_TRUE(vobs->titles[0].title.mainFeature) << c.name;  // the larger set
            EXPECT_EQ(titleBytes(vobs->titles[1].title).size(),
                      fs::file_size(disc / "VIDEO_TS/VTS_02_1.VOB"));
            EXPECT_NE(vobs->problems.at(0).find("the VOB files are read as they are"),
                      std::string::npos);
            continue;
        }
        ASSERT_TRUE(read) << c.name << ": " << problem;
        EXPECT_EQ(read->titles.size(), std::size_t(c.titles)) << c.name;
        const std::string first = read->problems.empty() ? "" : read->problems.front();
        EXPECT_NE(first.find(c.problem), std::string::npos) << c.name << ": " << first;
        EXPECT_EQ(read->problems.size(), c.titles == 2 ? 0u : 1u) << c.name;
        for (const VideoTitle& t : read->titles) titleBytes(t.title);  // every range is there
    }
    std::string problem;
    const auto second = readVideoDisc(dvdDiscs().folder, 2, problem);  // no title has angle 2
    ASSERT_TRUE(second);
    EXPECT_EQ(second->titles.front().title.ranges,
              readVideoDisc(dvdDiscs().folder, 1, problem)->titles.front().title.ranges);
    EXPECT_FALSE(readVideoDisc(test::tempDir("empty"), 1, problem));
    EXPECT_EQ(problem.find("no VIDEO_TS folder in "), 0u);
}

// A navigation pack whose DSI says: this unit ends `end` sectors on, the angle's next unit
// starts `next` sectors on.
std::vector<uint8_t> navPack(uint32_t end, uint32_t next) {
    std::vector<uint8_t> s(2048, 0);
    const uint8_t head[] = {0, 0,    1,    0xBA, 0x44, 0, 4, 0,    4, 1,
                            1, 0x89, 0xC3, 0xF8, 0,    0, 1, 0xBB, 0, 18};
    std::copy(std::begin(head), std::end(head), s.begin());
    const uint8_t pci[] = {0, 0, 1, 0xBF, 0x03, 0xD4, 0x00};
    std::copy(std::begin(pci), std::end(pci), s.begin() + 38);
    const uint8_t dsi[] = {0, 0, 1, 0xBF, 0x03, 0xFA, 0x01};
    std::copy(std::begin(dsi), std::end(dsi), s.begin() + 1024);
    for (int i = 0; i < 4; ++i) {  // ILVU_EA and NT_ILVU_SA of the seamless playback block
        s[1031 + 34 + i] = uint8_t(end >> (24 - 8 * i));
        s[1031 + 38 + i] = uint8_t(next >> (24 - 8 * i));
    }
    return s;
}

TEST(DvdVideo, InterleavedUnitsOfOneAngle) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::pair<uint32_t, uint32_t>>> navs;  // sector: end, next
        uint64_t last;
        std::vector<std::pair<uint64_t, uint64_t>> sectors;  // first, count of each range
    };
    const Case cases[] = {
        {"three units",
         {{0, {2, 6}}, {6, {2, 6}}, {12, {2, 0xFFFFFFFF}}},
         19,
         {{0, 3}, {6, 3}, {12, 3}}},
        {"no navigation pack", {}, 19, {{0, 20}}},
        {"next unit behind", {{0, {2, 1}}}, 19, {{0, 3}}},
        {"unit past the cell", {{0, {2, 6}}, {6, {30, 6}}}, 9, {{0, 3}, {6, 4}}},
        {"next past the cell", {{0, {2, 40}}}, 19, {{0, 3}}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(20 * 2048, 0);
        for (const auto& [sector, addresses] : c.navs) {
            const auto pack = navPack(addresses.first, addresses.second);
            std::copy(pack.begin(), pack.end(), bytes.begin() + sector * 2048);
        }
        const fs::path file = test::tempDir("ilvu") / "VTS_01_1.VOB";
        test::writeFile(file, bytes);
        VobSpace space;
        space.add({file, 0, 20});
        std::vector<ByteRange> ranges;
        EXPECT_TRUE(appendInterleavedRanges(space, 0, c.last, ranges)) << c.name;
        std::vector<std::pair<uint64_t, uint64_t>> got;
        for (const ByteRange& r : ranges) got.push_back({r.offset / 2048, r.length / 2048});
        EXPECT_EQ(got, c.sectors) << c.name;
    }
    std::vector<ByteRange> ranges;
    VobSpace empty;
    EXPECT_FALSE(appendInterleavedRanges(empty, 0, 0, ranges));

    // A disc's angle block: each angle is its own cell of the one time; together they are the
    // whole VOB, and a title without angle 3 is read in its first.
    const fs::path disc = dvdDiscs().angles;
    ASSERT_FALSE(disc.empty());
    std::string problem;
    std::vector<std::string> bytes;
    for (int angle : {1, 2, 3}) {
        const auto read = readVideoDisc(disc, angle, problem);
        ASSERT_TRUE(read) << problem;
        const DiscTitle& title = read->titles.at(0).title;
        EXPECT_EQ(title.angles, 2);
        EXPECT_NEAR(title.durationSeconds, 2.0, 0.01) << angle;
        bytes.push_back(titleBytes(title));
    }
    const std::vector<uint8_t> vob = test::readFile(disc / "VIDEO_TS/VTS_01_1.VOB");
    EXPECT_TRUE(bytes[0] + bytes[1] == std::string(vob.begin(), vob.end()));
    EXPECT_TRUE(bytes[2] == bytes[0]);
}

// Units of 10 bytes (one pack, padding packet), 2030 (a second pack) and 4040 bytes (a second
// pack three bytes short of full: stuffing in its PES header instead of padding).
TEST(Vobsub, UnitsInWholePacksAndTheirIndex) {
    std::vector<uint8_t> sub;
    formats::VobsubWriter writer(
        [&](std::span<const uint8_t> b) { sub.insert(sub.end(), b.begin(), b.end()); });
    writer.unit(std::vector<uint8_t>(10, 0xAA), 227970);  // 2.533 s
    writer.unit(std::vector<uint8_t>(2030, 0xBB), 5535000);
    writer.unit(std::vector<uint8_t>(4040, 0xCC), 5535090);
    ASSERT_EQ(sub.size(), 5u * 2048);
    const std::vector<uint8_t> first = {
        0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x37, 0xD4, 0x14, 0x01, 0x01, 0x89, 0xC3, 0xF8,  // SCR
        0x00, 0x00, 0x01, 0xBD, 0x00, 0x13, 0x81, 0x80, 0x05, 0x21, 0x00, 0x0D, 0xF5, 0x05,  // PTS
        0x20, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0x01,
        0xBE, 0x07, 0xD3, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(sub.begin(), sub.begin() + long(first.size())), first);
    EXPECT_EQ(sub[2047], 0xFF);
    // The second unit's second pack: no PTS, 11 bytes, then padding.
    const std::vector<uint8_t> more = {0x00, 0x00, 0x01, 0xBD, 0x00, 0x0F,
                                       0x81, 0x00, 0x00, 0x20, 0xBB};
    EXPECT_EQ(std::vector<uint8_t>(sub.begin() + 2 * 2048 + 14, sub.begin() + 2 * 2048 + 25), more);
    // The third unit's second pack: 2021 bytes and three stuffing bytes fill it.
    const std::vector<uint8_t> full = {0x00, 0x00, 0x01, 0xBD, 0x07, 0xEC, 0x81,
                                       0x00, 0x03, 0xFF, 0xFF, 0xFF, 0x20, 0xCC};
    EXPECT_EQ(std::vector<uint8_t>(sub.begin() + 4 * 2048 + 14, sub.begin() + 4 * 2048 + 28), full);
    EXPECT_EQ(sub.back(), 0xCC);

    formats::VobsubHeader header{352, 240, {0xFFFF00, 0x0000FF}, "de"};
    EXPECT_EQ(writer.index(header),
              "# VobSub index file, v7 (do not modify this line!)\n"
              "size: 352x240\n"
              "palette: ffff00, 0000ff, 000000, 000000, 000000, 000000, 000000, 000000, 000000, "
              "000000, 000000, 000000, 000000, 000000, 000000, 000000\n"
              "langidx: 0\n\n"
              "id: de, index: 0\n"
              "timestamp: 00:00:02:533, filepos: 000000000\n"
              "timestamp: 00:01:01:500, filepos: 000000800\n"
              "timestamp: 00:01:01:501, filepos: 000001800\n");
}

// The command line on a DVD-Video disc: its titles, and its subtitles as VobSub that mkvmerge
// takes.
TEST(DvdVideoCli, TitlesAndVobsubOutput) {
    const auto& discs = dvdDiscs();
    ASSERT_FALSE(discs.folder.empty());
    for (const fs::path& disc : {discs.folder, discs.iso}) {
        const auto listed =
            test::checkJson(test::cli("titles --json " + test::quoted(disc)),
                            "t=d['titles']; assert d['outcome']=='done' and len(t)==2, d\n"
                            "assert t[0]['mainFeature'] and not t[1]['mainFeature']\n"
                            "assert [round(c['seconds'],2) for c in "
                            "t[0]['chapters']]==[0,1.5,3,4.5], t[0]['chapters']\n"
                            "assert [(x['kind'],x['language']) for x in t[0]['tracks']][1:]=="
                            "[('audio','en'),('audio','de'),('subtitle','en'),('subtitle','fr')]\n"
                            "assert t[1]['video']['aspect']=='16:9' and t[1]['titleSet']==2\n"
                            "assert len(t[0]['palette'])==16\n");
        EXPECT_EQ(listed.exitCode, 0) << disc << listed.out << listed.err;
    }
    const auto plain = test::runCommand(test::cli("titles " + test::quoted(discs.split)));
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_NE(plain.out.find("Title 1: 0:00:06.002, main feature\n"), std::string::npos)
        << plain.out;
    const fs::path broken = test::tempDir("broken");
    fs::create_directories(broken / "VIDEO_TS");
    const auto failed = test::runCommand(test::cli("titles " + test::quoted(broken)));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("no VIDEO_TS.IFO in"), std::string::npos) << failed.err;
    // A title's VOB files are one sector space: going on is not a choice; an angle must exist.
    const auto whole =
        test::checkJson(test::cli("read --json --no-continue " + test::quoted(discs.split)),
                        "assert len(d['inputs'])==2, d['inputs']\n");
    EXPECT_EQ(whole.exitCode, 0) << whole.out << whole.err;
    EXPECT_EQ(
        test::runCommand(test::cli("read -q --angle 2 " + test::quoted(discs.angles))).exitCode, 0);
    const auto angle =
        test::runCommand(test::cli("read -q --angle 2 " + test::quoted(discs.folder)));
    EXPECT_EQ(angle.exitCode, 1);
    EXPECT_NE(angle.err.find("title 1 has 1 angle(s), not angle 2"), std::string::npos)
        << angle.err;

    // A title over two VOB files demuxes to the video ffmpeg copies out of the two joined.
    const fs::path video = test::tempDir("dvd-video");
    ASSERT_EQ(test::runCommand(test::cli("demux -q -s v0 -o " + test::quoted(video) + " " +
                                         test::quoted(discs.split)))
                  .exitCode,
              0);
    const fs::path vobs = discs.split / "VIDEO_TS";
    ASSERT_EQ(test::runCommand("cat " + test::quoted(vobs / "VTS_01_1.VOB") + " " +
                               test::quoted(vobs / "VTS_01_2.VOB") +
                               " | ffmpeg -v error -i - -map 0:v -c copy -f mpeg2video " +
                               test::quoted(video / "ffmpeg.m2v"))
                  .exitCode,
              0);
    EXPECT_EQ(test::readFile(video / "VTS_01_1_VTS_01_2.MPEG-2.stream.0.mpv"),
              test::readFile(video / "ffmpeg.m2v"));

    const fs::path out = test::tempDir("vobsub");
    const auto demux =
        test::runCommand(test::cli("demux -q -s s0 --subs vobsub -o " + test::quoted(out) + " " +
                                   test::quoted(discs.folder / "VIDEO_TS/VTS_01_1.VOB")));
    ASSERT_EQ(demux.exitCode, 0) << demux.err;
    fs::path idx;
    for (const auto& entry : fs::directory_iterator(out))
        if (entry.path().extension() == ".idx") idx = entry.path();
    ASSERT_FALSE(idx.empty());
    EXPECT_TRUE(fs::exists(fs::path(idx).replace_extension(".sub")));
    const auto judged = test::checkJson("mkvmerge -J " + test::quoted(idx),
                                        "assert d['tracks'][0]['codec']=='VobSub', d\n");
    EXPECT_EQ(judged.exitCode, 0) << judged.out << judged.err;
}

// A title of the image to Matroska: the IFO's languages on the tracks, its chapters in the file.
TEST(DvdVideoCli, TitleToMatroskaWithLanguagesAndChapters) {
    if (!test::haveTool("mkvmerge")) GTEST_SKIP() << "no mkvmerge";
    const fs::path mkv = test::tempDir("dvdmkv") / "t1.mkv";
    const auto made = test::runCommand(
        test::cli("mkv -q --title 1 -o " + test::quoted(mkv) + " " + test::quoted(dvdDiscs().iso)));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto judged = test::checkJson(
        "mkvmerge -J " + test::quoted(mkv),
        "assert [t['properties'].get('language') for t in d['tracks']][1:]=="
        "['eng','ger','eng','fre'], d['tracks']\n"
        "assert d['chapters'][0]['num_entries']==4, d\n"
        "assert [t['codec'] for t in d['tracks']][3:]==['VobSub','VobSub'], d['tracks']\n");
    EXPECT_EQ(judged.exitCode, 0) << judged.out << judged.err;
}

}  // namespace
}  // namespace kavrel::dvdvideo
