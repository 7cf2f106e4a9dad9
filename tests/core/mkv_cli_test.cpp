// kavrel-cli mkv on the sample disc, with mkvmerge and ffprobe as the judges of the Matroska file,
// and the ways a run ends without one: no mkvmerge, a missing clip, mkvmerge's errors, Ctrl-C.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <string>

#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::filesIn;
using test::quoted;
using test::runCommand;
using test::shellQuote;

// Runs a Python check that reads the output of `command` as JSON in d.
void expectJson(const std::string& command, const std::string& script) {
    auto result = test::checkJson(command, script);
    EXPECT_EQ(result.exitCode, 0) << command << "\n" << result.err;
}

bool haveJudges() {
    return test::haveTool("mkvmerge") && test::haveTool("ffprobe") && test::haveTool("python3");
}

TEST(MkvCli, MakesTheFeatureWithTracksChaptersAndDelays) {
    if (!haveJudges()) GTEST_SKIP() << "mkvmerge, ffprobe or python3 is not installed";
    const auto& disc = test::sampleDisc();
    const fs::path out = test::tempDir("mkv");
    const fs::path mkv = out / "feature.mkv";
    auto run = runCommand(cli("mkv " + quoted(disc.feature1) + " -o " + quoted(mkv)));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(filesIn(out), std::set<std::string>{"feature.mkv"});  // the work folder is gone

    // Every stream of the disc in its order, described by the playlist's title; no warning.
    expectJson("mkvmerge -J " + quoted(mkv),
               "t=d['tracks']; p=[x['properties'] for x in t]; "
               "assert d['errors']==[] and d['warnings']==[], d; "
               "assert d['container']['properties']['title']=='The Feature'; "
               "assert [x['codec'] for x in t]==['VC-1','E-AC-3','DTS','PCM','TrueHD','AC-3',"
               "'HDMV PGS','HDMV PGS'], t; "
               "assert [x['language'] for x in p]==['und','eng','ger','eng','eng','fre','eng',"
               "'fre']; "
               "assert [x.get('track_name') for x in p]==[None,'English','German','Score',"
               "'Commentary','French','English','French']; "
               "assert [x['default_track'] for x in p]==[True,True]+[False]*6; "
               "assert d['chapters']==[{'num_entries':8}]");
    // The chapters' names and times are those of the chapter file (titles_cli_test).
    // In sync: each audio track starts where it starts against the video on the disc, and
    // video and audio end with the joined runtime of both files, within one frame.
    std::string delays = "[";
    uint32_t videoPts = 0;
    for (const auto& stream : disc.streams)
        if (stream.file == "FEATURE_1.EVO" && stream.kind == "video") videoPts = stream.firstPts;
    for (const auto& stream : disc.streams)
        if (stream.file == "FEATURE_1.EVO" && stream.kind == "audio")
            delays += std::to_string((stream.firstPts - videoPts) / 90) + ",";
    delays += "]";
    uint64_t frames = 0;
    for (const auto& stream : disc.streams)
        if (stream.kind == "video" && stream.caption == "VC-1.stream.0") frames += stream.units;
    const std::string runtime = std::to_string(frames) + "*1001/24000";
    // ffprobe leaves out the TrueHD track (index 4): its decoder refuses the generated major
    // sync, which mkvmerge takes.
    expectJson(
        "ffprobe -v warning -nofind_stream_info -show_packets -of json " + quoted(mkv),
        "import collections; first={}; end=collections.defaultdict(float); "
        "[first.setdefault(p['stream_index'],float(p['pts_time'])) for p in d['packets']]; "
        "[end.__setitem__(p['stream_index'],max(end[p['stream_index']],"
        "float(p['pts_time'])+float(p.get('duration_time',0)))) for p in d['packets']]; "
        "delays=" +
            delays +
            "; "
            "audio=[1,2,3,5]; assert [round(first[i]*1000) for i in audio]==[delays[i-1] for i "
            "in audio], (first, delays); assert first[0]==0; "
            "rt=" +
            runtime +
            "; "
            "assert all(abs(end[i]-rt)<1001/24000 for i in [0]+audio), (end, rt)");
    auto probe = runCommand("ffprobe -v warning -nofind_stream_info -show_format " + quoted(mkv));
    EXPECT_EQ(probe.exitCode, 0);
    EXPECT_EQ(probe.err, "");
}

// What a run leaves when it cannot make the file: nothing.
TEST(MkvCli, WithoutMkvmergeOrAClipNothingIsLeft) {
    const auto& disc = test::sampleDisc();
    const fs::path out = test::tempDir("mkv-none");
    const fs::path mkv = out / "sub" / "feature.mkv";
    auto missing = runCommand("PATH=/nonexistent " +
                              cli("mkv " + quoted(disc.feature1) + " -o " + quoted(mkv)));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("mkvmerge was not found on PATH: install the Debian package "
                               "mkvtoolnix"),
              std::string::npos)
        << missing.err;
    EXPECT_EQ(filesIn(out), std::set<std::string>{});

    if (!test::haveTool("mkvmerge")) GTEST_SKIP() << "mkvmerge is not installed";
    // A disc whose FEATURE_2.EVO is gone: the title cannot be made whole.
    const fs::path copy = test::tempDir("mkv-part");
    fs::create_directories(copy / "HVDVD_TS");
    fs::create_directories(copy / "ADV_OBJ");
    fs::copy_file(disc.feature1, copy / "HVDVD_TS" / "FEATURE_1.EVO");
    fs::copy_file(disc.playlist, copy / "ADV_OBJ" / "VPLST000.XPL");
    const fs::path input = copy / "HVDVD_TS" / "FEATURE_1.EVO";
    auto part = runCommand(cli("mkv -q " + quoted(input) + " -o " + quoted(mkv)));
    EXPECT_EQ(part.exitCode, 1);
    EXPECT_NE(part.err.find("FEATURE_2.EVO, the next clip of title 2 (The Feature), is not on "
                            "the disc"),
              std::string::npos)
        << part.err;
    EXPECT_EQ(filesIn(out), std::set<std::string>{});
    // Asked for, the input alone.
    auto alone =
        runCommand(cli("mkv -q --no-continue -s v0,a0 " + quoted(input) + " -o " + quoted(mkv)));
    EXPECT_EQ(alone.exitCode, 0) << alone.err;
    EXPECT_TRUE(fs::is_regular_file(mkv));

    // Without a playlist the follow-on file by name is read too: it is never the output.
    const fs::path bare = test::tempDir("mkv-bare");
    fs::copy_file(disc.feature1, bare / "FEATURE_1.EVO");
    fs::copy_file(disc.feature2, bare / "FEATURE_2.EVO");
    auto over = runCommand(
        cli("mkv -q " + quoted(bare / "FEATURE_1.EVO") + " -o " + quoted(bare / "FEATURE_2.EVO")));
    EXPECT_EQ(over.exitCode, 1);
    EXPECT_NE(over.err.find("FEATURE_2.EVO: it is an input file"), std::string::npos) << over.err;
    EXPECT_TRUE(test::readFile(bare / "FEATURE_2.EVO") == test::readFile(disc.feature2));
}

// mkvmerge's endings as a stand-in on PATH plays them: its warnings keep the file, its errors
// and stop signals leave none.
TEST(MkvCli, MkvmergesEndings) {
    const auto& disc = test::sampleDisc();
    // The stand-in writes part of the file mkvmerge would, then acts its part.
    const std::string writeOutput =
        "out=$(python3 -c 'import json,sys; a=json.load(open(sys.argv[1][1:])); "
        "print(a[a.index(\"--output\")+1])' \"$1\")\n"
        "echo '#GUI#progress 50%'\nprintf part > \"$out\"\n";
    struct Case {
        const char* name;
        const char* act;
        int exitCode;
        bool written;
        const char* says;  // on stdout (warning) or stderr (error)
        int dones;         // "Done." lines: the read's, and the whole run's once the file is whole
    };
    const Case cases[] = {
        {"warning", "echo '#GUI#warning The track has gaps.'\nexit 1\n", 0, true,
         "mkvmerge warning: The track has gaps.", 2},
        {"error", "echo '#GUI#error The file could not be read:'\necho 'it is damaged.'\nexit 2\n",
         1, false, "mkvmerge: The file could not be read: it is damaged.", 1},
        {"signal", "kill -KILL $$\n", 1, false, "mkvmerge was ended by signal 9", 1},
        // Every stop signal, however often, stops mkvmerge and leaves no work folder behind.
        {"interrupt", "kill -INT $PPID\nkill -INT $PPID\nexec sleep 60\n", 130, false, "Cancelled.",
         1},
        {"terminate", "kill -TERM $PPID\nexec sleep 60\n", 143, false, "Cancelled.", 1},
        {"hang-up", "kill -HUP $PPID\nexec sleep 60\n", 129, false, "Cancelled.", 1},
    };
    for (const Case& c : cases) {
        const fs::path bin = test::tempDir("mkv-bin");
        const fs::path fake = bin / "mkvmerge";
        std::ofstream(fake) << "#!/bin/sh\n" << writeOutput << c.act;
        ::chmod(fake.c_str(), 0755);
        const fs::path out = test::tempDir("mkv-end");
        const fs::path mkv = out / "feature.mkv";
        auto run = runCommand("PATH=" + quoted(bin) + ":\"$PATH\" " +
                              cli("mkv -s v0,a0 " + quoted(disc.feature1) + " -o " + quoted(mkv)));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << run.err;
        EXPECT_EQ(filesIn(out),
                  c.written ? std::set<std::string>{"feature.mkv"} : std::set<std::string>{})
            << c.name;
        EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << c.name << run.err;
        std::size_t dones = 0;
        for (std::size_t at = ("\n" + run.out).find("\nDone.\n"); at != std::string::npos;
             at = ("\n" + run.out).find("\nDone.\n", at + 1))
            ++dones;
        EXPECT_EQ(dones, static_cast<std::size_t>(c.dones)) << c.name << run.out;
    }
}

}  // namespace
}  // namespace kavrel
