// The plan of a Matroska file: languages as mkvmerge takes them, the tracks' order, names and
// default flags from a playlist title, mkvmerge's option file, and finding mkvmerge on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "mux/languages.h"
#include "mux/mkvmerge.h"
#include "mux/mux_plan.h"
#include "tests/support/test_support.h"

namespace kavrel::mux {
namespace {

namespace fs = std::filesystem;

TEST(MuxLanguage, PlaylistCodesBecomeTheCodesMkvmergeTakes) {
    struct Case {
        const char* code;
        const char* expected;
        const char* name;
    };
    const Case cases[] = {
        {"en", "eng", "English"},    {"de", "ger", "German"},
        {"FR", "fre", "French"},     {"zh", "chi", "Chinese"},
        {"en:00", "eng", "English"}, {"pt-BR", "por", "Portuguese"},
        {"iw", "heb", "Hebrew"},     {"deu", "ger", "German"},
        {"ger", "ger", "German"},    {"jpn", "jpn", "Japanese"},
        {"aa", "aar", "Afar"},       {"zu", "zul", "Zulu"},
        {"xx", "und", ""},           {"", "und", ""},
        {"e1", "und", ""},           {"english", "und", ""},
        {"und", "und", ""},          {"sh", "und", ""},
    };
    for (const Case& c : cases) {
        const Language language = matroskaLanguage(c.code);
        EXPECT_EQ(language.code, c.expected) << c.code;
        EXPECT_EQ(language.name, c.name) << c.code;
    }
}

TitleTrack track(StreamKind kind, int32_t key, std::string language, std::string description) {
    return TitleTrack{kind, key, std::move(language), std::move(description), {}, 0};
}

TEST(MuxPlan, TracksInDiscOrderNamedByTheTitle) {
    using enum StreamKind;
    DiscTitle title;
    title.name = "The Feature";
    // By stream key: DD+ 0xC0 and MPEG audio 0xC0 (key 0x1C0) are two streams, each named by
    // its own track whatever box it was offered in.
    title.tracks = {track(Video, 0x55, "", ""), track(Audio, 0xC0, "en", "en"),
                    track(Audio, 0x1C0, "de", ""), track(Audio, 0xC2, "en", "Score"),
                    track(Subpicture, 0x21, "fr", "fr")};
    // Given out of order, with a stream the title does not name (audio 0x80).
    const MuxInput inputs[] = {
        {subSlot(1), "s1.sup", -2, 0x21},   {audioSlot(3), "a3.ac3", 0, 0x80},
        {audioSlot(2), "a2.wav", 3, 0xC2},  {videoSlot(0), "v0.mpv", 0, 0x55},
        {audioSlot(0), "a0.eac3", 5, 0xC0}, {audioSlot(1), "a1.mpa", 0, 0x1C0}};
    const MuxPlan plan = planMux(inputs, &title, "/out/f.mkv", "/w/chapters.xml");

    struct Expected {
        const char* file;
        const char* language;
        const char* name;
        bool defaultTrack;
        int64_t sync;
    };
    const Expected expected[] = {
        {"v0.mpv", "und", "", true, 0},        {"a0.eac3", "eng", "English", true, 5},
        {"a1.mpa", "ger", "German", false, 0}, {"a2.wav", "eng", "Score", false, 3},
        {"a3.ac3", "", "", false, 0},          {"s1.sup", "fre", "French", false, -2},
    };
    ASSERT_EQ(plan.tracks.size(), std::size(expected));
    for (std::size_t i = 0; i < plan.tracks.size(); ++i) {
        const MuxTrack& t = plan.tracks[i];
        EXPECT_EQ(t.file, expected[i].file);
        EXPECT_EQ(t.language, expected[i].language) << t.file;
        EXPECT_EQ(t.name, expected[i].name) << t.file;
        EXPECT_EQ(t.defaultTrack, expected[i].defaultTrack) << t.file;
        EXPECT_EQ(t.syncMs, expected[i].sync) << t.file;
    }
    EXPECT_EQ(plan.title, "The Feature");

    // Without a title: no names or languages, the first video and audio still the default.
    const MuxPlan bare = planMux(inputs, nullptr, "/out/f.mkv", {});
    EXPECT_TRUE(bare.title.empty());
    EXPECT_EQ(bare.tracks[1].language, "");
    EXPECT_TRUE(bare.tracks[1].defaultTrack);
    EXPECT_FALSE(bare.tracks[2].defaultTrack);
}

TEST(MuxPlan, OptionFileIsTheJsonArrayOfMkvmergesArguments) {
    MuxPlan plan;
    plan.output = "/out/a \"b\".mkv";
    plan.title = "Reunion & Return";
    plan.chapters = "/w/chapters.xml";
    MuxTrack video;
    video.file = "/w/v.mpv";
    video.defaultTrack = true;
    MuxTrack audio;
    audio.file = "/w/a.wav";
    audio.kind = StreamKind::Audio;
    audio.language = "ger";
    audio.name = "Kommentar: Ärger";
    audio.syncMs = -12;
    plan.tracks = {video, audio};
    EXPECT_EQ(optionFile(mkvmergeArguments(plan)),
              R"(["--gui-mode","--output","/out/a \"b\".mkv","--title","Reunion & Return",)"
              R"("--chapters","/w/chapters.xml","--default-track-flag","0:1","/w/v.mpv",)"
              R"("--language","0:ger","--track-name","0:Kommentar: Ärger",)"
              R"("--default-track-flag","0:0","--sync","0:-12","/w/a.wav"])"
              "\n");
}

TEST(MuxProgram, FoundOnlyAsAnExecutableFileAlongPath) {
    const fs::path dir = test::tempDir("path");
    fs::create_directories(dir / "a" / "mkvmerge");  // a folder of that name does not count
    fs::create_directories(dir / "b");
    std::ofstream(dir / "b" / "mkvmerge") << "#!/bin/sh\n";  // not executable
    fs::create_directories(dir / "c");
    std::ofstream(dir / "c" / "mkvmerge") << "#!/bin/sh\n";
    ::chmod((dir / "c" / "mkvmerge").c_str(), 0755);
    const char* saved = std::getenv("PATH");
    const std::string savedPath = saved ? saved : "";
    const std::string a = (dir / "a").string();
    const std::string b = (dir / "b").string();
    const std::string c = (dir / "c").string();
    ::setenv("PATH", (a + ":" + b).c_str(), 1);
    EXPECT_TRUE(findProgram("mkvmerge").empty());
    ::setenv("PATH", (a + "::" + b + ":" + c).c_str(), 1);
    EXPECT_EQ(findProgram("mkvmerge"), dir / "c" / "mkvmerge");
    EXPECT_TRUE(findProgram("../c/mkvmerge").empty());  // a name, never a path
    ::setenv("PATH", savedPath.c_str(), 1);
}

}  // namespace
}  // namespace kavrel::mux
