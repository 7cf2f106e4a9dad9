// DVD-Audio discs A, D and G: the track table, and the tracks written one file each, compared
// by sample with their source WAVs (made again with ffmpeg as the discs' README says).
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "dvdaudio/audio_disc.h"
#include "dvdaudio/extract_tracks.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using namespace dvdaudio;

fs::path discs() {
    return fs::path(KAVREL_SOURCE_DIR) / ".." / "shared" / "discs" / "dvd-audio";
}

#define NEED_DISCS()                                             \
    if (!fs::exists(discs() / "D") || !test::haveTool("ffmpeg")) \
    GTEST_SKIP() << "no DVD-Audio test discs or no ffmpeg"

// A source WAV of the discs' README, as ffmpeg decodes it to s32le.
Bytes source(const std::string& rate, const std::string& bits, const std::string& seconds,
             const std::string& expr) {
    const fs::path wav = test::tempDir("dvda-src") / "source.wav";
    test::runCommand("ffmpeg -v error -y -f lavfi -i " +
                     test::shellQuote("aevalsrc=" + expr + ":s=" + rate + ":d=" + seconds) +
                     " -c:a pcm_s" + bits + "le " + test::quoted(wav));
    return test::ffmpegDecode(wav, "s32le");
}

// The samples are the source's; the end of an audio object may gain or lose the few frames
// that the discs' authoring program gets wrong there (its last packet's length).
void expectSameSamples(const Bytes& out, const Bytes& src, std::size_t slackFrames,
                       const std::string& what) {
    const std::size_t slack = slackFrames * 8;  // frames of two s32 channels
    ASSERT_LE(std::max(out.size(), src.size()) - std::min(out.size(), src.size()), slack) << what;
    const std::size_t n = std::min(out.size(), src.size()) - std::min(slack, src.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(n), src.begin())) << what;
}

// A disc folder of title sets made of the discs' files: {disc, set number it gets}; the IFO
// bytes of the first set may be replaced (empty: left out).
fs::path makeDisc(const std::string& name, const std::vector<std::pair<std::string, int>>& sets,
                  const std::optional<Bytes>& firstIfo = std::nullopt) {
    const fs::path folder = test::tempDir(name) / "AUDIO_TS";
    fs::create_directories(folder);
    for (const auto& [disc, n] : sets) {
        const std::string stem = "ATS_0" + std::to_string(n) + "_";
        const fs::path from = discs() / disc / "AUDIO_TS";
        if (n > 1 || !firstIfo)
            fs::copy_file(from / "ATS_01_0.IFO", folder / (stem + "0.IFO"));
        else if (*firstIfo != Bytes{})
            test::writeFile(folder / (stem + "0.IFO"), *firstIfo);
        fs::copy_file(from / "ATS_01_1.AOB", folder / (stem + "1.AOB"));
    }
    return folder.parent_path();
}

RunResult extract(const fs::path& disc, const fs::path& out, TrackFileFormat format) {
    RunState state;
    test::RecordingHost host;
    const AudioDisc audio = readAudioDisc(disc);
    EXPECT_EQ(audio.error, "");
    return extractTracks(audio, {out, format, {}}, state, host);
}

TEST(DvdAudio, TrackTableCases) {
    if (!fs::exists(discs() / "D")) GTEST_SKIP() << "no DVD-Audio test discs";
    const Bytes ifo = test::readFile(discs() / "D" / "AUDIO_TS" / "ATS_01_0.IFO");
    const auto table = readTrackTable(ifo);
    ASSERT_EQ(table.error, "");
    ASSERT_EQ(table.titles.size(), 1u);
    const auto& tracks = table.titles[0].tracks;
    ASSERT_EQ(tracks.size(), 3u);
    const std::vector<std::pair<uint32_t, uint32_t>> sectors = {
        {0, 701}, {702, 1774}, {1775, 2688}};
    const std::vector<double> seconds = {7.31, 11.17, 9.53};
    for (std::size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(std::pair(tracks[t].firstSector, tracks[t].lastSector), sectors[t]);
        EXPECT_DOUBLE_EQ(tracks[t].seconds(), seconds[t]);
        EXPECT_EQ(tracks[t].number, static_cast<int>(t + 1));
        EXPECT_EQ(tracks[t].format.channelNames()[0], "L R");
    }
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        const char* why;
    };
    const Case cases[] = {
        {"zeroed", [](Bytes& b) { std::fill(b.begin(), b.end(), 0); }, "does not begin with"},
        {"no title table", [](Bytes& b) { b.resize(0x801); }, "title table lies past"},
        {"no title", [](Bytes& b) { b[0x800] = b[0x801] = 0; }, "lists no title"},
        {"cut in a track", [](Bytes& b) { b.resize(0x830); }, "track 1 lies past"},
        {"cut in the sectors", [](Bytes& b) { b.resize(0x870); }, "track 2 lies past"},
        {"zero tracks", [](Bytes& b) { b[0x812] = 0; }, "has no track"},
        {"record far away", [](Bytes& b) { b[0x80C] = 0x7F; }, "record lies past"},
        {"bad format", [](Bytes& b) { b[0x102] = 0x3F; }, "no valid sample format"},
        {"backwards sectors", [](Bytes& b) { b[0x872] = b[0x873] = 0; }, "before its first sector"},
    };
    for (const Case& c : cases) {
        Bytes damaged = ifo;
        c.damage(damaged);
        const auto result = readTrackTable(damaged);
        EXPECT_NE(result.error.find(c.why), std::string::npos) << c.name << ": " << result.error;
        EXPECT_TRUE(result.titles.empty()) << c.name;
    }
    // On a disc, a title set whose table is missing or unusable lists no title and keeps its
    // audio objects for a whole demux; the sets are never read past their files.
    Bytes zeroed(4096, 0);
    const fs::path cut = makeDisc("dvda-cut", {{"D", 1}});
    fs::resize_file(cut / "AUDIO_TS" / "ATS_01_1.AOB", 2000 * 2048);
    const std::pair<fs::path, const char*> discCases[] = {
        {makeDisc("dvda-noifo", {{"D", 1}}, Bytes{}), "ATS_01_0.IFO is missing"},
        {makeDisc("dvda-zero", {{"D", 1}}, zeroed), "ATS_01_0.IFO is damaged: it does not begin"},
        {cut, "ATS_01_0.IFO is damaged: title 1 track 3 (sectors 1775 to 2688) lies past the end"},
    };
    for (const auto& [disc, why] : discCases) {
        const AudioDisc audio = readAudioDisc(disc);
        EXPECT_TRUE(audio.titles.empty()) << why;
        ASSERT_EQ(audio.damaged.size(), 1u) << why;
        EXPECT_EQ(audio.damaged[0].problem.rfind(why, 0), 0u) << audio.damaged[0].problem;
        EXPECT_EQ(audio.damaged[0].objects.size(), 1u) << why;
        EXPECT_EQ(audio.error, audio.damaged[0].problem);
    }
}

TEST(DvdAudio, ThreeTracksInOneObjectComeOutWhole) {
    NEED_DISCS();
    const fs::path out = test::tempDir("dvda-d");
    ASSERT_EQ(extract(discs() / "D", out, TrackFileFormat::Wav).outcome, RunOutcome::Done);
    EXPECT_EQ(test::filesIn(out),
              (std::set<std::string>{"Title01-Track01.wav", "Title01-Track02.wav",
                                     "Title01-Track03.wav"}));
    const char* sources[][2] = {
        {"7.31", "0.5*sin(2*PI*(330*t+2.9*t*t))|0.4*sin(2*PI*(495*t+4.3*t*t))"},
        {"11.17", "0.5*sin(2*PI*(550*t+3.3*t*t))|0.4*sin(2*PI*(825*t+4.9*t*t))"},
        {"9.53", "0.5*sin(2*PI*(770*t+2.1*t*t))|0.4*sin(2*PI*(1155*t+3.9*t*t))"}};
    for (int t = 0; t < 3; ++t)
        expectSameSamples(test::ffmpegDecode(out / trackFileStem(1, t + 1).append(".wav"), "s32le"),
                          source("48000", "16", sources[t][0], sources[t][1]), t == 2 ? 1 : 0,
                          "track " + std::to_string(t + 1));
}

TEST(DvdAudio, TwoFormatsAsTwoTitlesAndFlacEqualsWav) {
    NEED_DISCS();
    const fs::path wav = test::tempDir("dvda-g-wav"), flac = test::tempDir("dvda-g-flac");
    ASSERT_EQ(extract(discs() / "G", wav, TrackFileFormat::Wav).outcome, RunOutcome::Done);
    ASSERT_EQ(extract(discs() / "G", flac, TrackFileFormat::Flac).outcome, RunOutcome::Done);
    expectSameSamples(test::ffmpegDecode(wav / "Title01-Track01.wav", "s32le"),
                      source("48000", "16", "5.17",
                             "0.5*sin(2*PI*(440*t+3.1*t*t))|0.4*sin(2*PI*(660*t+5.3*t*t))"),
                      1, "title 1");
    expectSameSamples(test::ffmpegDecode(wav / "Title02-Track01.wav", "s32le"),
                      source("96000", "24", "4.73",
                             "0.5*sin(2*PI*(500*t+4.7*t*t))|0.4*sin(2*PI*(750*t+6.1*t*t))"),
                      1, "title 2");
    // Without the track table, a demux writes each format to a WAV of its own and a read
    // reports both.
    const fs::path demuxed = test::tempDir("dvda-g-demux");
    const fs::path aob = discs() / "G" / "AUDIO_TS" / "ATS_01_1.AOB";
    const auto read = test::runCommand(
        test::cli("demux --lpcm wav -o " + test::quoted(demuxed) + " " + test::quoted(aob)));
    EXPECT_NE(read.out.find("Group 1 sampling frequency = 96 kHz, bit depth = 24 bit"),
              std::string::npos)
        << read.out;
    EXPECT_EQ(test::ffmpegDecode(demuxed / "ATS_01_1.LPCM.stream.00.wav", "s32le"),
              test::ffmpegDecode(wav / "Title01-Track01.wav", "s32le"));
    expectSameSamples(test::ffmpegDecode(demuxed / "ATS_01_1.LPCM.stream.00-2.wav", "s32le"),
                      test::ffmpegDecode(wav / "Title02-Track01.wav", "s32le"), 1, "demux");
    for (const char* name : {"Title01-Track01", "Title02-Track01"}) {
        EXPECT_EQ(test::ffmpegDecode(flac / (std::string(name) + ".flac"), "s32le"),
                  test::ffmpegDecode(wav / (std::string(name) + ".wav"), "s32le"))
            << name;
        const auto tags = test::runCommand("metaflac --export-tags-to=- " +
                                           test::quoted(flac / (std::string(name) + ".flac")));
        EXPECT_NE(tags.out.find("TRACKTOTAL=1\n"), std::string::npos) << tags.out;
        EXPECT_NE(tags.out.find("WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x0003\n"), std::string::npos);
    }
}

TEST(DvdAudio, ATrackRunsOnIntoTheNextObjectAndAnImageReadsAsTheFolder) {
    NEED_DISCS();
    // Disc A's one track, its audio object cut in two at a pack boundary.
    const fs::path split = test::tempDir("dvda-split") / "AUDIO_TS";
    fs::create_directories(split);
    fs::copy_file(discs() / "A" / "AUDIO_TS" / "ATS_01_0.IFO", split / "ATS_01_0.IFO");
    const Bytes aob = test::readFile(discs() / "A" / "AUDIO_TS" / "ATS_01_1.AOB");
    const auto half = static_cast<long>(aob.size() / 2 / 2048 * 2048);
    test::writeFile(split / "ATS_01_1.AOB", Bytes(aob.begin(), aob.begin() + half));
    test::writeFile(split / "ATS_01_2.AOB", Bytes(aob.begin() + half, aob.end()));
    const fs::path out = test::tempDir("dvda-a");
    ASSERT_EQ(extract(split.parent_path(), out, TrackFileFormat::Wav).outcome, RunOutcome::Done);
    expectSameSamples(test::ffmpegDecode(out / "Title01-Track01.wav", "s32le"),
                      source("48000", "16", "10.3",
                             "0.5*sin(2*PI*(440*t+3.1*t*t))|0.4*sin(2*PI*(660*t+5.3*t*t))"),
                      1, "disc A");
    if (!test::haveTool("genisoimage")) return;
    const fs::path iso = test::tempDir("dvda-iso") / "D.iso";
    test::runCommand("genisoimage -quiet -udf -o " + test::quoted(iso) + " " +
                     test::quoted(discs() / "D"));
    const AudioDisc image = readAudioDisc(iso), folder = readAudioDisc(discs() / "D");
    ASSERT_EQ(image.error, "");
    ASSERT_EQ(image.titles.size(), 1u);
    ASSERT_EQ(image.titles[0].tracks.size(), 3u);
    EXPECT_EQ(image.titles[0].tracks[1].ranges[0].file, iso);
    EXPECT_EQ(image.titles[0].tracks[1].ranges[0].length,
              folder.titles[0].tracks[1].ranges[0].length);
}

TEST(DvdAudio, CliListsAndWritesTracksAndAStopKeepsOnlyFinishedOnes) {
    NEED_DISCS();
    const auto listed = test::checkJson(
        test::cli("titles --json " + test::quoted(discs() / "G")),
        "t=d['titles']; assert [x['number'] for x in t]==[1,2]; a=t[1]['tracks'][0]; "
        "assert (a['seconds'],a['bits'],a['rate'],a['channels'])==(4.73,24,96000,2)");
    EXPECT_EQ(listed.exitCode, 0) << listed.err << listed.out;
    const fs::path out = test::tempDir("dvda-cli");
    auto run = test::runCommand(test::cli("tracks -q --title 2 --format flac -o " +
                                          test::quoted(out) + " " + test::quoted(discs() / "G")));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(test::filesIn(out), std::set<std::string>{"Title02-Track01.flac"});
    EXPECT_EQ(test::runCommand(test::cli("tracks --title 3 -o " + test::quoted(out) + " " +
                                         test::quoted(discs() / "G")))
                  .exitCode,
              1);
    // Two title sets (D's as 1, G's as 2) and an audio manager that puts set 2 in group 2:
    // titles are numbered across the disc and a track's DISCNUMBER is its group.
    const fs::path two = makeDisc("dvda-two", {{"D", 1}, {"G", 2}});
    Bytes amg = test::readFile(discs() / "D" / "AUDIO_TS" / "AUDIO_TS.IFO");
    const Bytes g = test::readFile(discs() / "G" / "AUDIO_TS" / "AUDIO_TS.IFO");
    amg[0x801] = 3;
    amg[0x803] = 3 + 3 * 14;
    std::copy(g.begin() + 0x804, g.begin() + 0x804 + 28, amg.begin() + 0x812);
    amg[0x812] = amg[0x820] = 0x82;
    amg[0x812 + 8] = amg[0x820 + 8] = 2;
    test::writeFile(two / "AUDIO_TS" / "AUDIO_TS.IFO", amg);
    EXPECT_EQ(test::checkJson(test::cli("titles --json " + test::quoted(two)),
                              "t=d['titles']; assert [(x['number'],x['titleSet'],x['titleInSet'],"
                              "x['group']) for x in t]==[(1,1,1,1),(2,2,1,2),(3,2,2,2)], t")
                  .exitCode,
              0);
    run = test::runCommand(test::cli("tracks -q --title 3 --format flac -o " +
                                     test::quoted(two / "out") + " " + test::quoted(two)));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(test::ffmpegDecode(two / "out" / "Title03-Track01.flac", "s32le"),
              test::ffmpegDecode(out / "Title02-Track01.flac", "s32le"));
    EXPECT_NE(test::runCommand("metaflac --show-tag=DISCNUMBER " +
                               test::quoted(two / "out" / "Title03-Track01.flac"))
                  .out.find("DISCNUMBER=2"),
              std::string::npos);
    // A damaged track table: the title set's audio objects are written whole, as a demux does.
    const fs::path zeroed = makeDisc("dvda-zeroed", {{"D", 1}}, Bytes(4096, 0));
    run = test::runCommand(
        test::cli("tracks -o " + test::quoted(zeroed / "out") + " " + test::quoted(zeroed)));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("ATS_01_0.IFO is damaged: it does not begin with DVDAUDIO-ATS; the AOB "
                           "files are written whole."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(test::filesIn(zeroed / "out"), std::set<std::string>{"ATS_01_1.LPCM.stream.00.wav"});
    EXPECT_EQ(test::runCommand(test::cli("titles " + test::quoted(zeroed))).exitCode, 1);
    // A stop once track 1 is written (702 of the title's 2689 packs, 128 per progress report):
    // the finished track stays, the one being written is removed.
    RunState state;
    struct StopLater : test::RecordingHost {
        RunState* state = nullptr;
        void pump() override { state->stopFlag = ++pumps == 7; }
    } host;
    host.state = &state;
    const fs::path stopped = test::tempDir("dvda-stop");
    const auto result = extractTracks(readAudioDisc(discs() / "D"),
                                      {stopped, TrackFileFormat::Wav, {}}, state, host);
    EXPECT_EQ(result.outcome, RunOutcome::Cancelled);
    EXPECT_TRUE(host.hasLine("Cancelled."));
    EXPECT_EQ(test::filesIn(stopped), std::set<std::string>{"Title01-Track01.wav"});
}

}  // namespace
}  // namespace kavrel
