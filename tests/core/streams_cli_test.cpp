// kavrel-cli on streams that share a number by their ids (ffmpeg's DVDs with AC-3 0x80 beside
// DTS 0x88 or LPCM 0xA0), the JSON document's stream properties judged by ffprobe, languages
// and delays from the sample disc's playlist, the documents of rebuild and of a run refused
// before it starts, and a stream that first appears beyond the fast check.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/names.h"
#include "engine/pes_header.h"
#include "tests/support/ps_builder.h"
#include "tests/support/test_support.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;
using test::checkJson;
using test::cli;

class SharedNumbers : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!haveTool("ffmpeg") || !haveTool("ffprobe") || !haveTool("python3")) return;
        dir_ = new fs::path(tempDir("shared"));
        dts_ = make("DTS.VOB", "-c:a:1 dca -strict -2");
        lpcm_ = make("LPCM.VOB", "-c:a:1 pcm_dvd");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "ffmpeg, ffprobe and python3 are needed";
        ASSERT_FALSE(dts_.empty());
        ASSERT_FALSE(lpcm_.empty());
    }

    // MPEG-2 video, AC-3 (0x80) and a second audio stream of another format.
    static fs::path make(const std::string& name, const std::string& second) {
        const fs::path vob = *dir_ / name;
        const auto result = runCommand(
            "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=2"
            " -f lavfi -i sine=frequency=440:duration=2:sample_rate=48000"
            " -f lavfi -i sine=frequency=660:duration=2:sample_rate=48000"
            " -map 0:v -map 1:a -map 2:a -c:v mpeg2video -c:a:0 ac3 " +
            second + " -f dvd " + shellQuote(vob.string()));
        return result.exitCode == 0 ? vob : fs::path();
    }

    // ffmpeg's copy of one stream; LPCM decoded, since its copy keeps each packet's header.
    static Bytes ffmpegCopy(const fs::path& vob, const std::string& map,
                            const std::string& format) {
        const fs::path out = tempDir("copy") / "stream";
        const std::string codec = format == "s16be" ? "" : " -c copy";
        const auto result =
            runCommand("ffmpeg -v error -y -i " + shellQuote(vob.string()) + " -map " + map +
                       codec + " -f " + format + " " + shellQuote(out.string()));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readFile(out);
    }

    static inline fs::path* dir_ = nullptr;
    static inline fs::path dts_;
    static inline fs::path lpcm_;
};

TEST_F(SharedNumbers, EachStreamIsDemuxedAsFfmpegCopiesIt) {
    struct Case {
        fs::path vob;
        std::string second;  // the second audio stream's file name part
        std::string format;
    };
    for (const Case& c :
         {Case{dts_, "DTSHD.stream.01", "dts"}, Case{lpcm_, "LPCM.stream.01", "s16be"}}) {
        SCOPED_TRACE(c.vob.filename().string());
        const fs::path out = tempDir("out");
        const auto result = runCommand(
            cli("demux -q -o " + shellQuote(out.string()) + " " + shellQuote(c.vob.string())));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        // The video and the AC-3 stream as ffmpeg copies them: DemuxRunPeer in runs_test.
        const std::string base = (out / CutExt(c.vob.filename().string())).string() + ".";
        EXPECT_TRUE(fs::exists(base + "MPEG-2.stream.0.mpv"));
        EXPECT_TRUE(fs::exists(base + "DD.stream.00.mpa"));
        EXPECT_TRUE(readFile(base + c.second + ".mpa") == ffmpegCopy(c.vob, "0:a:1", c.format));
    }
}

// The properties of each stream against ffprobe's fields of the stream with the same id, where
// ffprobe knows them; the generator's VOB and ffmpeg's.
TEST_F(SharedNumbers, JsonPropertiesAreWhatFfprobeSees) {
    const std::string compare =
        "import subprocess\n"
        "p=json.loads(subprocess.run(['ffprobe','-v','error','-show_streams','-of','json',"
        "d['inputs'][0]],capture_output=True).stdout)['streams']\n"
        "byid={int(s['id'],16)&0xFF:s for s in p}\n"
        "pairs=[('channels','channels'),('sample_rate','sampleRate'),('width','width'),"
        "('height','height'),('display_aspect_ratio','displayAspectRatio')]\n"
        "assert d['streams']\n"
        "for s in d['streams']:\n"
        "  f=byid[s['id']]; q=s['properties']\n"
        "  assert s['firstPts'] is not None, s\n"
        "  assert q.get('codec')==f['codec_name'], (s, f)\n"
        "  for k,o in pairs:\n"
        "    if str(f.get(k,'0')) not in ('0','N/A'): assert str(q.get(o))==str(f[k]), (k, s, f)\n";
    for (const fs::path& vob : {sampleDisc().vob, dts_, lpcm_}) {
        const auto result =
            checkJson(cli("read --json --no-details " + shellQuote(vob.string())), compare);
        EXPECT_EQ(result.exitCode, 0) << vob << "\n" << result.err;
    }
}

TEST(StreamsJson, LanguagesAndDelaysFromTheDisc) {
    if (!haveTool("python3")) GTEST_SKIP() << "python3 is missing";
    const auto& disc = sampleDisc();
    auto result = checkJson(
        cli("read --json --no-details " + shellQuote(disc.feature1.string())),
        "s={x['idHex']:x for x in d['streams']}\n"
        "assert (s['0xC0']['language'],s['0xC0']['description'])==('en','en'), s['0xC0']\n"
        "assert (s['0x89']['language'],s['0x89']['description'])==('de','de'), s['0x89']\n"
        "assert (s['0xA2']['language'],s['0xA2']['description'])==('en','Score'), s['0xA2']\n"
        "assert s['0x61']['language']=='fr', s['0x61']\n"
        "v=s['0x55']; assert 'delayMs' not in v\n"
        "assert (s['0xC0']['idSpace'],v['idSpace'])==('sub_stream_id','stream_id_extension')\n"
        "for x in d['streams']:\n"
        "  if x is v: continue\n"
        "  assert abs(x['delayMs']-(x['firstPts']-v['firstPts'])/90)<=0.5, x\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // No playlist beside a VOB: no languages.
    result = checkJson(cli("read --json " + shellQuote(disc.vob.string())),
                       "assert d['streams'] and all('language' not in x for x in d['streams'])");
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST(StreamsJson, RebuildListsItsOutputAndARefusedRunIsStillADocument) {
    if (!haveTool("python3")) GTEST_SKIP() << "python3 is missing";
    const fs::path out = tempDir("rebuild-json");
    auto result = checkJson(cli("rebuild --json -s v0 -o " + shellQuote(out.string()) + " " +
                                shellQuote(sampleDisc().vob.string())),
                            "import os\n"
                            "o=d['outputs']; assert d['outcome']=='done' and len(o)==1, d\n"
                            "assert o[0]['path'].endswith('.rebuilt.EVO'), o\n"
                            "assert o[0]['bytes']==os.path.getsize(o[0]['path']), o\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;

    const fs::path file = out / "file";
    writeFile(file, {1});
    result = checkJson(cli("demux --json -o " + shellQuote(file.string()) + " " +
                           shellQuote(sampleDisc().vob.string())) +
                           " 2>/dev/null",
                       "assert d['outcome']=='failed', d\n"
                       "assert d['error'].startswith('Cannot use the output folder'), d\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

// A feature whose last stream first appears past the fast check's 300 MB: read says that the
// check ended the scan, and demux without -s still writes that stream.
TEST(StreamsJson, AStreamBeyondTheFastCheck) {
    if (!haveTool("python3")) GTEST_SKIP() << "python3 is missing";
    const fs::path dir = tempDir("late");
    const fs::path input = dir / "LATE.EVO";
    fs::copy_file(sampleDisc().feature1, input);
    fs::resize_file(input, 310'000'000 / kPackSize * kPackSize);  // sparse: cheap to read
    {
        PsBuilder late;
        for (int i = 0; i < 4; ++i)
            late.pack({Pes(kPrivateStream1Id)
                           .pts(90000)
                           .subHeader(audioSubHeader(0x87))
                           .payload(Bytes(500, 0x87))
                           .packet()});
        std::ofstream out(input, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(late.bytes().data()),
                  static_cast<std::streamsize>(late.size()));
    }

    // The document says so, and one line on stderr.
    auto result = checkJson(cli("read --json " + shellQuote(input.string())),
                            "assert d['fastCheckStopped'] is True, d['fastCheckStopped']\n"
                            "assert 0x87 not in [s['id'] for s in d['streams']]\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("kavrel-cli read: the fast check ended the scan"), std::string::npos)
        << result.err;

    result = checkJson(cli("demux --json -o " + shellQuote((dir / "out").string()) + " " +
                           shellQuote(input.string())),
                       "o=[x for x in d['outputs'] if x['path'].endswith('DD.stream.07.mpa')]\n"
                       "assert len(o)==1 and o[0]['bytes']==2000, d['outputs']\n"
                       "assert 0x87 in [s['id'] for s in d['streams']]\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

}  // namespace
}  // namespace kavrel::test
