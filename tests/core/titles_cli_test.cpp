// kavrel-cli titles, xpl --chapters and demux --chapters on the sample disc, with mkvmerge as the
// judge of the chapter files.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::quoted;
using test::runCommand;
using test::shellQuote;

// The texts of every element of this name in an XML document, in order.
std::vector<std::string> elementTexts(const std::string& xml, const std::string& name) {
    std::vector<std::string> texts;
    const std::string open = "<" + name + ">";
    const std::string close = "</" + name + ">";
    for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
        at += open.size();
        texts.push_back(xml.substr(at, xml.find(close, at) - at));
    }
    return texts;
}

TEST(TitlesCli, ListsTheTitlesOfADiscOrPlaylist) {
    const auto& disc = test::sampleDisc();
    const fs::path root = disc.playlist.parent_path().parent_path();
    const std::string sizes = "[(True," + std::to_string(fs::file_size(disc.feature1)) +
                              "),(True," + std::to_string(fs::file_size(disc.feature2)) + ")]";
    const std::string script =
        "import json,sys; d=json.load(sys.stdin); t=d['titles']; f=t[1]; "
        "assert [x['number'] for x in t]==[1,2,3,4]; "
        "assert [x['mainFeature'] for x in t]==[False,True,False,False]; "
        "assert f['name']=='The Feature' and f['durationSeconds']==6730.5; "
        "assert [(c['exists'],c['size']) for c in f['clips']]==" +
        sizes +
        "; "
        "assert f['clips'][1]['path'].endswith('HVDVD_TS/FEATURE_2.EVO'); "
        "a=f['tracks'][3]; assert (a['kind'],a['streamNumber'],a['codec'],a['channels'],"
        "a['language'],a['description'])==('audio',3,'LPCM','2','en','Score'); "
        "assert [c['name'] for c in f['chapters']][6]=='Reunion & Return'; "
        "assert d['problems']==[] and d['framesPerSecond']==24";
    for (const fs::path& source : {root, disc.playlist}) {
        auto result = runCommand(cli("titles --json " + quoted(source)) + " | python3 -c " +
                                 shellQuote(script));
        EXPECT_EQ(result.exitCode, 0) << source << result.err;
    }
    auto plain = runCommand(cli("titles " + quoted(root)));
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_NE(plain.out.find("\nTitle 2: The Feature, 01:52:10:12 (1:52:10.500), main feature\n"),
              std::string::npos)
        << plain.out;

    const fs::path dir = test::tempDir("titles-cli");
    std::ofstream(dir / "EMPTY.XPL") << "<Playlist><TitleSet/></Playlist>";
    for (const fs::path& bad : {dir / "MISSING.XPL", dir, dir / "EMPTY.XPL"})
        EXPECT_EQ(runCommand(cli("titles " + quoted(bad))).exitCode, 1) << bad;
    for (const char* usage : {"titles", "titles a b", "titles --bogus x"})
        EXPECT_EQ(runCommand(cli(usage)).exitCode, 2) << usage;
}

TEST(TitlesCli, ChapterFilesThatMkvmergeReads) {
    if (!test::haveTool("mkvmerge") || !test::haveTool("mkvextract"))
        GTEST_SKIP() << "mkvtoolnix is not installed";
    const fs::path playlist = test::sampleDisc().playlist;
    const fs::path dir = test::tempDir("titles-mkv");
    const std::string chapters = "xpl --input FEATURE_1.EVO --chapters ";
    auto ogm = runCommand(cli(chapters + "ogm " + quoted(playlist)));
    ASSERT_EQ(ogm.exitCode, 0) << ogm.err;
    for (const char* format : {"xml", "ogm"}) {
        const fs::path file = dir / (std::string("chapters.") + format);
        const fs::path mkv = dir / (std::string(format) + ".mkv");
        auto write =
            runCommand(cli(chapters + format + " -o " + quoted(file) + " " + quoted(playlist)));
        ASSERT_EQ(write.exitCode, 0) << write.err;
        // Exit code 0: no warning either.
        auto mux = runCommand("mkvmerge -q -o " + quoted(mkv) + " --chapters " + quoted(file));
        ASSERT_EQ(mux.exitCode, 0) << format << mux.out;
        if (std::string(format) == "ogm") {
            auto back = runCommand("mkvextract " + quoted(mkv) + " chapters --simple -");
            EXPECT_EQ(back.out, ogm.out);
        } else {
            // To the nanosecond: the XML keeps what the simple form rounds to milliseconds.
            auto back = runCommand("mkvextract " + quoted(mkv) + " chapters -");
            const auto written = test::readFile(file);
            const std::string xml(written.begin(), written.end());
            for (const char* element : {"ChapterTimeStart", "ChapterString"})
                EXPECT_EQ(elementTexts(back.out, element), elementTexts(xml, element));
            EXPECT_EQ(elementTexts(xml, "ChapterTimeStart").size(), 8u);
        }
    }
    // The playlist itself is never the output.
    EXPECT_EQ(
        runCommand(cli(chapters + "xml -o " + quoted(playlist) + " " + quoted(playlist))).exitCode,
        1);
    EXPECT_GT(fs::file_size(playlist), 1000u);
    EXPECT_EQ(runCommand(cli(chapters + "srt " + quoted(playlist))).exitCode, 2);
    EXPECT_EQ(runCommand(cli("xpl --chapters xml " + quoted(playlist))).exitCode, 2);
    EXPECT_EQ(runCommand(cli("xpl -i NONE_1.EVO --chapters xml " + quoted(playlist))).exitCode, 1);
}

TEST(TitlesCli, DemuxWritesChaptersBesideItsOutputs) {
    const auto& disc = test::sampleDisc();
    const fs::path out = test::tempDir("titles-demux");
    const fs::path chapters = out / "FEATURE_1_FEATURE_2.chapters.xml";
    const std::string demux = "demux -s a0 -o " + quoted(out) + " ";
    auto plain = runCommand(cli(demux + quoted(disc.feature1)));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_FALSE(fs::exists(chapters));  // only when asked for

    auto result = runCommand(cli(demux + "--chapters " + quoted(disc.feature1)));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("8 chapters of title 2 (The Feature) written to " +
                              chapters.string() + "\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(fs::is_regular_file(chapters));

    // No playlist beside a VOB: said in one line, and the demux still succeeds.
    auto vob = runCommand(cli(demux + "--chapters -s v0 " + quoted(disc.vob)));
    EXPECT_EQ(vob.exitCode, 0) << vob.err;
    EXPECT_NE(vob.out.find("No chapters: no playlist beside VTS_01_1.VOB."), std::string::npos);

    // A chapter file that cannot be written fails the command; the streams stay written.
    fs::remove(chapters);
    fs::create_directory(chapters);
    auto blocked = runCommand(cli(demux + "--chapters " + quoted(disc.feature1)));
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("chapters.xml"), std::string::npos) << blocked.err;
    EXPECT_GT(fs::file_size(out / "FEATURE_1_FEATURE_2.DD+.stream.00.mpa"), 0u);
}

}  // namespace
}  // namespace kavrel
