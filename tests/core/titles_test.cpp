// The playlist's titles as data, their times, and the chapter files made from them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/chapter_file.h"
#include "playlist/title_chapters.h"
#include "playlist/title_time.h"
#include "playlist/titles.h"
#include "tests/support/test_support.h"
#include "tools/mkdisc/sample_playlist.h"

namespace kavrel::playlist {
namespace {

namespace fs = std::filesystem;

TEST(TitleTime, TimesInFramesOfTheTimeBase) {
    struct Case {
        int fps;
        const char* text;
        const char* matroska;  // hand-computed: seconds + frames / fps
        const char* ogm;
    };
    const Case cases[] = {
        {24, "00:00:00:01", "00:00:00.041666667", "00:00:00.042"},
        {60, "00:00:00:01", "00:00:00.016666667", "00:00:00.017"},
        {24, "00:21:14:08", "00:21:14.333333333", "00:21:14.333"},
        {60, "00:21:14:20", "00:21:14.333333333", "00:21:14.333"},
        {24, "01:29:58:23", "01:29:58.958333333", "01:29:58.958"},
        {60, "01:29:58:59", "01:29:58.983333333", "01:29:58.983"},
        {50, "00:00:01:25", "00:00:01.500000000", "00:00:01.500"},
        {24, " 0:0:0:5 ", "00:00:00.208333333", "00:00:00.208"},
        {60, "123:00:00:00", "123:00:00.000000000", "123:00:00.000"},
    };
    for (const Case& c : cases) {
        std::optional<int64_t> frames = parseTitleTime(c.text, c.fps);
        ASSERT_TRUE(frames) << c.text;
        const int64_t ns = frameNanoseconds(*frames, c.fps);
        EXPECT_EQ(formats::matroskaTime(ns), c.matroska) << c.text << " at " << c.fps;
        EXPECT_EQ(formats::ogmTime(ns), c.ogm) << c.text << " at " << c.fps;
    }
    for (const char* bad :
         {"00:60:00:00", "00:00:60:00", "00:00:00:24", "1:2:3", "", "::::", "00:00:00:00:00",
          "aa:bb:cc:dd", "-1:00:00:00", "00:00:00:0x", "1000:00:00:00", "00:00:00:100"})
        EXPECT_FALSE(parseTitleTime(bad, 24)) << bad;
    EXPECT_TRUE(parseTitleTime("00:00:00:59", 60));
    EXPECT_FALSE(parseTitleTime("00:00:00:60", 60));

    EXPECT_EQ(parseTimeBase("24fps"), 24);
    EXPECT_EQ(parseTimeBase(" 60FPS"), 60);
    EXPECT_EQ(parseTimeBase("50fps"), 50);
    for (const char* bad : {"fps", "0fps", "241fps", "24 fps", "24", "-24fps", "24fpss", ""})
        EXPECT_FALSE(parseTimeBase(bad)) << bad;
}

struct Mark {
    std::string name;
    std::string matroska;
};

std::vector<Mark> marksOf(const TitleSet& set, const Title& title, const TitleSpan& span = {}) {
    std::vector<Mark> marks;
    for (const formats::ChapterMark& mark : chapterMarks(set, title, span))
        marks.push_back({mark.name, formats::matroskaTime(mark.start)});
    return marks;
}

bool operator==(const Mark& a, const Mark& b) {
    return a.name == b.name && a.matroska == b.matroska;
}

void PrintTo(const Mark& mark, std::ostream* out) {
    *out << mark.matroska << " " << mark.name;
}

const std::vector<Mark> kFeatureChapters{
    {"Opening", "00:00:00.000000000"},          {"Arrival", "00:09:41.500000000"},
    {"The Crossing", "00:21:14.333333333"},     {"Night Watch", "00:37:05.833333333"},
    {"Part Two", "00:58:40.000000000"},         {"The Letter", "01:12:33.166666667"},
    {"Reunion & Return", "01:29:58.916666667"}, {"Finale", "01:40:02.666666667"}};

TEST(Titles, SampleTitleSetAtBothTimeBases) {
    // The disc is copied in lower case: the clips are found all the same.
    const fs::path disc = test::tempDir("titles");
    fs::create_directories(disc / "hvdvd_ts");
    std::ofstream(disc / "hvdvd_ts" / "feature_1.evo") << "12345";

    for (int fps : {24, 60}) {
        const TitleSet set = readTitleSet(mkdisc::samplePlaylist(fps), disc, "FEATURE_2");
        EXPECT_TRUE(set.problems.empty()) << set.problems.front();
        EXPECT_EQ(set.framesPerSecond, fps);
        EXPECT_EQ(set.playlistTitle, "Kavrel Sample Disc");
        ASSERT_EQ(set.titles.size(), 4u);
        EXPECT_EQ(set.playing, 1u);
        const Title& feature = set.titles[1];
        EXPECT_EQ(feature.number, 2);
        EXPECT_EQ(feature.name, "The Feature");
        EXPECT_TRUE(feature.mainFeature);
        EXPECT_FALSE(set.titles[0].mainFeature || set.titles[2].mainFeature);
        EXPECT_DOUBLE_EQ(set.seconds(*feature.duration), 6730.5);
        EXPECT_EQ(set.titles[2].name, "Making of > Behind the Scenes & more > extras");
        EXPECT_EQ(marksOf(set, feature), kFeatureChapters) << fps << "fps";

        ASSERT_EQ(feature.clips.size(), 2u);
        EXPECT_EQ(feature.clips[0].file, disc / "hvdvd_ts" / "feature_1.evo");
        EXPECT_TRUE(feature.clips[0].exists);
        EXPECT_EQ(feature.clips[0].size, 5u);
        EXPECT_EQ(feature.clips[1].file, disc / "hvdvd_ts" / "FEATURE_2.EVO");
        EXPECT_FALSE(feature.clips[1].exists);

        ASSERT_EQ(feature.tracks.size(), 8u);  // named in both clips, listed once
        const Track& dts = feature.tracks[2];
        EXPECT_EQ(dts.kind, TrackKind::Audio);
        EXPECT_EQ(dts.streamNumber, 2);
        EXPECT_EQ(dts.codec, "DTS-HD");
        EXPECT_EQ(dts.channels, "6");
        EXPECT_EQ(dts.language, "de");
        const Track& commentary = feature.tracks[4];
        EXPECT_EQ(commentary.description, "Commentary");
        EXPECT_EQ(commentary.language, "en");
        EXPECT_EQ(feature.tracks[7].kind, TrackKind::Subtitle);
        EXPECT_EQ(feature.tracks[7].codec, "8bitRLE");
        EXPECT_EQ(feature.tracks[7].language, "fr");
    }
    EXPECT_EQ(readTitleSet(mkdisc::samplePlaylist(), {}, "MPEG2_1").playing, 3u);
    EXPECT_FALSE(readTitleSet(mkdisc::samplePlaylist(), {}, "FEATURE_9").playing);
}

// A track names its stream by key, the one rule of the JSON, the window and the MKV: audio 1 of
// Dolby Digital Plus and of MPEG audio are two streams, though both are number 0 by their ids.
TEST(Titles, TrackKeysByCodecAndNumber) {
    struct Case {
        TrackKind kind;
        const char* codec;
        int number;
        int32_t key;
    };
    const Case cases[] = {
        {TrackKind::Video, "VC-1", 1, 0x55},        {TrackKind::Video, "MPEG-4 AVC", 2, 0xE3},
        {TrackKind::Audio, "DD+", 1, 0xC0},         {TrackKind::Audio, "MPEG", 1, 0x1C0},
        {TrackKind::Audio, "dts-hd", 3, 0x8A},      {TrackKind::Audio, "LPCM", 9, -1},
        {TrackKind::Subtitle, "2bitRLE", 16, 0x2F}, {TrackKind::Audio, "VC-1", 1, -1},
        {TrackKind::Audio, "Opus", 1, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(trackKey(c.kind, c.codec, c.number), c.key) << c.codec;
}

TEST(TitleChapters, FittedToTheFilesADemuxRead) {
    const TitleSet set = readTitleSet(mkdisc::samplePlaylist(60), {});
    const Title& feature = set.titles[1];
    auto span = [&](std::vector<fs::path> files) { return spanOfFiles(feature, files); };
    const std::vector<Mark> firstPart(kFeatureChapters.begin(), kFeatureChapters.begin() + 4);
    EXPECT_EQ(marksOf(set, feature, span({"/d/FEATURE_1.EVO", "/d/FEATURE_2.EVO"})),
              kFeatureChapters);
    EXPECT_EQ(marksOf(set, feature, span({"/d/FEATURE_1.EVO"})), firstPart);
    // FEATURE_2 alone starts at its clip's begin, 00:58:40.
    EXPECT_EQ(marksOf(set, feature, span({"/d/feature_2.evo"})),
              (std::vector<Mark>{{"Part Two", "00:00:00.000000000"},
                                 {"The Letter", "00:13:53.166666667"},
                                 {"Reunion & Return", "00:31:18.916666667"},
                                 {"Finale", "00:41:22.666666667"}}));
    // A file that is no clip of the title: the whole title.
    EXPECT_EQ(marksOf(set, feature, span({"/d/OTHER_1.EVO"})), kFeatureChapters);
}

TEST(Titles, DamagedPlaylistsGiveWhatTheyCan) {
    const std::string items =
        "<Playlist displayName=\"P\"><MediaAttributeList>"
        "<AudioAttributeItem index=\"1\" codec=\"DD+\" channels=\"6\"/></MediaAttributeList>";
    auto title = [](std::string_view inside, std::string_view attributes = "") {
        return "<Title titleNumber=\"1\" titleDuration=\"00:10:00:00\"" + std::string(attributes) +
               "><PrimaryAudioVideoClip src=\"file:///dvddisc/HVDVD_TS/FEATURE_1.MAP\" "
               "titleTimeBegin=\"00:00:00:00\" titleTimeEnd=\"00:10:00:00\">" +
               std::string(inside) + "</PrimaryAudioVideoClip></Title>";
    };
    const std::string chapter = "<Chapter titleTimeBegin=\"00:01:00:00\" displayName=\"c\"/>";
    const std::string whole = title(chapter);
    struct Case {
        const char* what;
        std::string text;
        std::size_t titles;
        std::size_t problems;
    };
    const Case cases[] = {
        {"sound", items + "<TitleSet>" + title(chapter) + "</TitleSet></Playlist>", 1, 0},
        {"unknown time base",
         items + "<TitleSet timeBase=\"30 frames\">" + title(chapter) + "</TitleSet>", 1, 1},
        {"bad chapter time", items + title("<Chapter titleTimeBegin=\"00:61:00:00\"/>" + chapter),
         1, 1},
        {"chapter out of order",
         items + title(chapter + "<Chapter titleTimeBegin=\"00:00:30:00\"/>"), 1, 1},
        {"chapter past the end",
         items + title(chapter + "<Chapter titleTimeBegin=\"999:59:59:23\"/>"), 1, 1},
        {"no duration",
         items + "<Title><PrimaryAudioVideoClip src=\"file:///dvddisc/A.MAP\" "
                 "titleTimeBegin=\"00:00:00:00\" titleTimeEnd=\"00:00:01:00\"/>"
                 "</Title>",
         1, 1},
        {"no clip", items + "<Title titleDuration=\"00:00:01:00\"></Title>", 1, 1},
        {"clip leaving the disc",
         items + "<Title titleDuration=\"00:00:01:00\"><PrimaryAudioVideoClip "
                 "src=\"file:///dvddisc/../../etc/passwd.MAP\" titleTimeBegin=\"00:00:00:00\" "
                 "titleTimeEnd=\"00:00:01:00\"/></Title>",
         1, 1},
        {"unknown media attribute and stream number",
         items + title("<Audio streamNumber=\"1\" mediaAttr=\"7\"/><Audio streamNumber=\"17\"/>"),
         1, 2},
        {"title left open before the next",
         items + title("").substr(0, title("").size() - 8) + title(chapter), 2, 1},
        {"cut short inside a tag", items + whole.substr(0, whole.find("titleTimeEnd")), 1, 2},
        {"cut short after a tag", items + whole.substr(0, whole.find("</Primary")), 1, 1},
        {"stray closing tag", items + "</Chapter>" + title(chapter), 1, 1},
        {"no title", items + "</Playlist>", 0, 1},
        {"not a playlist", "\x01\x02 garbage <<<>>> \xFF", 0, 1},
    };
    for (const Case& c : cases) {
        const TitleSet set = readTitleSet(c.text, "/nowhere");
        EXPECT_EQ(set.titles.size(), c.titles) << c.what;
        EXPECT_EQ(set.problems.size(), c.problems) << c.what;
        for (const std::string& problem : set.problems) EXPECT_FALSE(problem.empty()) << c.what;
    }
    const TitleSet unknownBase = readTitleSet(cases[1].text, {});
    EXPECT_EQ(unknownBase.framesPerSecond, kDefaultFramesPerSecond);
    const TitleSet badChapter = readTitleSet(cases[2].text, {});
    ASSERT_EQ(badChapter.titles[0].chapters.size(), 2u);
    EXPECT_FALSE(badChapter.titles[0].chapters[0].begin);
    EXPECT_EQ(chapterMarks(badChapter, badChapter.titles[0]).size(), 1u);
    // Marks out of order or past the title's end are left out, one line each.
    for (const Case& c : {cases[3], cases[4]}) {
        const TitleSet set = readTitleSet(c.text, {});
        std::vector<std::string> dropped;
        EXPECT_EQ(chapterMarks(set, set.titles[0], {}, &dropped).size(), 1u) << c.what;
        EXPECT_EQ(dropped.size(), 1u) << c.what;
    }
    const TitleSet leaving = readTitleSet(cases[7].text, "/nowhere");
    EXPECT_TRUE(leaving.titles[0].clips[0].file.empty());

    // A flood of faults is reported in a bounded number of lines.
    std::string flood = items + "<Title titleDuration=\"00:00:01:00\">";
    for (int i = 0; i < 5000; ++i) flood += "<Chapter titleTimeBegin=\"x\"/>";
    const TitleSet flooded = readTitleSet(flood + "</Title>", {});
    EXPECT_EQ(flooded.titles[0].chapters.size(), 5000u);
    EXPECT_LE(flooded.problems.size(), 52u);
}

TEST(ChapterFile, MatroskaXmlAndOgmForm) {
    // Names come from the playlist: markup, a line end and a byte that is not UTF-8 must not
    // break either file.
    const std::vector<formats::ChapterMark> marks{{0, "Intro & <Titles>"},
                                                  {3'723'499'600'000, "Caf\xC3\xA9\nB\xFFz"}};
    EXPECT_EQ(formats::matroskaChapterXml(marks),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<Chapters>\n"
              "  <EditionEntry>\n"
              "    <ChapterAtom>\n"
              "      <ChapterTimeStart>00:00:00.000000000</ChapterTimeStart>\n"
              "      <ChapterDisplay>\n"
              "        <ChapterString>Intro &amp; &lt;Titles&gt;</ChapterString>\n"
              "        <ChapterLanguage>und</ChapterLanguage>\n"
              "      </ChapterDisplay>\n"
              "    </ChapterAtom>\n"
              "    <ChapterAtom>\n"
              "      <ChapterTimeStart>01:02:03.499600000</ChapterTimeStart>\n"
              "      <ChapterDisplay>\n"
              "        <ChapterString>Caf\xC3\xA9 B\xEF\xBF\xBDz</ChapterString>\n"
              "        <ChapterLanguage>und</ChapterLanguage>\n"
              "      </ChapterDisplay>\n"
              "    </ChapterAtom>\n"
              "  </EditionEntry>\n"
              "</Chapters>\n");
    EXPECT_EQ(formats::ogmChapters(marks),
              "CHAPTER01=00:00:00.000\nCHAPTER01NAME=Intro & <Titles>\n"
              "CHAPTER02=01:02:03.500\nCHAPTER02NAME=Caf\xC3\xA9 B\xEF\xBF\xBDz\n");
    std::vector<formats::ChapterMark> many(100);
    EXPECT_NE(formats::ogmChapters(many).find("\nCHAPTER100=00:00:00.000\n"), std::string::npos);
}

}  // namespace
}  // namespace kavrel::playlist
