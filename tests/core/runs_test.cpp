// The read and demux runs on the generated sample disc: messages, output names, bytes written,
// and every way out of a run (done, cancelled, failed).
#include "engine/runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "engine/io.h"
#include "engine/names.h"
#include "engine/sinks.h"
#include "session/session.h"
#include "tests/support/ps_builder.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using test::RecordingHost;

const std::string kBase = "FEATURE_1_FEATURE_2";

using test::CancellingHost;

// The expected outputs of the sample feature, by file name.
std::vector<fs::path> expectedFeatureOutputs() {
    std::vector<fs::path> files;
    fs::path dir = test::sampleDisc().feature1.parent_path().parent_path() / "expected";
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with(kBase + ".")) files.push_back(entry);
    std::sort(files.begin(), files.end());
    return files;
}

RunOptions demuxAllOptions(const RunState& state, const fs::path& workdir) {
    RunOptions options;
    options.workdir = workdir;
    auto captions = offeredCaptions(state);
    for (int slot = 0; slot < kSlotCount; ++slot)
        options.scan.checked[slot] = !captions[slot].empty();
    return options;
}

bool hasDone(const RecordingHost& host) {
    return host.hasLine("Done.");
}

TEST(ReadRun, ReadsTheFeatureAndItsFollowOnFile) {
    const auto& disc = test::sampleDisc();
    RunState state;
    RecordingHost host;
    ASSERT_EQ(readRun(disc.feature1, state, RunOptions{}, host), RunOutcome::Done);

    EXPECT_EQ(host.markup.front(), "Opening file [b]FEATURE_1.EVO[/b]");
    EXPECT_TRUE(host.hasLine("File size: " + std::to_string(fs::file_size(disc.feature1) >> 20) +
                             " Mbytes."));
    EXPECT_TRUE(host.hasLine("Continue on FEATURE_2.EVO"));
    ASSERT_TRUE(hasDone(host));
    EXPECT_EQ(host.status[0].front(), "Reading FEATURE_1.EVO ");
    EXPECT_NE(std::find(host.status[0].begin(), host.status[0].end(), "Reading FEATURE_2.EVO"),
              host.status[0].end());
    EXPECT_EQ(host.status[0].back(), "Ready");
    EXPECT_EQ(host.status[1].back(), "");
    // "Done." is followed by an empty line.
    auto done = std::find(host.lines.begin(), host.lines.end(), "Done.");
    ASSERT_NE(done + 1, host.lines.end());
    EXPECT_EQ(*(done + 1), "");
    EXPECT_EQ(host.lines.back(), "");  // after the frame report

    // The copy the rebuild filters on is the found tables, and the files are released.
    EXPECT_EQ(state.lists.video, state.foundVideo);
    EXPECT_EQ(state.lists.audio, state.foundAudio);
    EXPECT_EQ(state.input, nullptr);

    // Every expected output has a box with its caption.
    auto captions = offeredCaptions(state);
    for (const fs::path& file : expectedFeatureOutputs()) {
        std::string caption = CutExt(file.filename().string()).substr(kBase.size() + 1);
        EXPECT_NE(std::find(captions.begin(), captions.end(), caption), captions.end()) << caption;
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        bool found = slot < audioSlot(0) ? state.foundVideo[slot] >= 0
                     : slot < subSlot(0) ? state.foundAudio[slot - audioSlot(0)] >= 0
                                         : state.foundSub[slot - subSlot(0)] >= 0;
        EXPECT_EQ(captions[slot].empty(), !found) << slot;
    }
}

TEST(ReadRun, NoFollowOnWhenNotAsked) {
    RunState state;
    RecordingHost host;
    RunOptions options;
    options.cont = false;
    ASSERT_EQ(readRun(test::sampleDisc().feature1, state, options, host), RunOutcome::Done);
    EXPECT_FALSE(host.hasLineContaining("Continue on"));
}

TEST(ReadRun, CancelSkipsTheFollowOnFileButEndsTheRun) {
    RunState state;
    CancellingHost host(state);
    EXPECT_EQ(readRun(test::sampleDisc().feature1, state, RunOptions{}, host),
              RunOutcome::Cancelled);
    EXPECT_GT(host.pumps, 0);
    EXPECT_FALSE(host.hasLineContaining("Continue on"));
    EXPECT_FALSE(hasDone(host));
    EXPECT_EQ(std::count(host.lines.begin(), host.lines.end(), "Cancelled."), 1);
    EXPECT_EQ(host.status[0].back(), "Ready");
    EXPECT_EQ(state.input, nullptr);

    // The window logs "Cancelled." when the user confirms; the run does not repeat it.
    struct ConfirmingHost : CancellingHost {
        explicit ConfirmingHost(RunState& s) : CancellingHost(s), run(s) {}
        void pump() override {
            log("Cancelled.");
            run.cancelLogged = true;
            CancellingHost::pump();
        }
        RunState& run;
    };
    ConfirmingHost window(state);
    ASSERT_EQ(demuxRun(test::sampleDisc().feature1, state, RunOptions{}, {}, window),
              RunOutcome::Cancelled);
    EXPECT_EQ(std::count(window.lines.begin(), window.lines.end(), "Cancelled."), 1);
}

TEST(ReadRun, FailuresAreReportedNotDone) {
    fs::path dir = test::tempDir("readfail");
    test::writeFile(dir / "EMPTY.EVO", {});
    for (const fs::path& input : {dir / "MISSING.EVO", dir, dir / "EMPTY.EVO"}) {
        RunState state;
        RecordingHost host;
        SCOPED_TRACE(input.string());
        EXPECT_EQ(readRun(input, state, RunOptions{}, host), RunOutcome::Failed);
        EXPECT_FALSE(hasDone(host));
        ASSERT_FALSE(host.markup.empty());
        EXPECT_TRUE(host.markup.back().starts_with("[re]Error: ")) << host.markup.back();
        EXPECT_EQ(host.status[0].back(), "Ready");
        EXPECT_EQ(state.input, nullptr);
    }
}

TEST(ReadRun, RandomBytesAreNotAProgramStream) {
    fs::path dir = test::tempDir("random");
    std::vector<uint8_t> bytes(700'000);
    uint32_t x = 12345;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    test::writeFile(dir / "NOISE_1.EVO", bytes);
    RunState state;
    RecordingHost host;
    EXPECT_EQ(readRun(dir / "NOISE_1.EVO", state, RunOptions{}, host), RunOutcome::Failed);
    EXPECT_EQ(host.lines.back(), "Error: NOISE_1.EVO is not an MPEG program stream");
    EXPECT_FALSE(hasDone(host));

    // Packs that carry no stream read to the end, with a line that says so.
    test::Bytes packs;
    for (int i = 0; i < 8; ++i)
        packs = test::concat({packs, test::packHeader(), test::Bytes(2034)});
    test::writeFile(dir / "PACKS.VOB", packs);
    RecordingHost empty;
    EXPECT_EQ(readRun(dir / "PACKS.VOB", state, RunOptions{}, empty), RunOutcome::Done);
    EXPECT_TRUE(empty.hasLine("No video, audio or subpicture stream was found."));
}

class DemuxRunTest : public ::testing::Test {
  protected:
    void readFeature(const fs::path& input) {
        RecordingHost readHost;
        ASSERT_EQ(readRun(input, state, RunOptions{}, readHost), RunOutcome::Done);
    }
    RunState state;
    RecordingHost host;
};

TEST_F(DemuxRunTest, AllStreamsMatchTheirExpectedBytes) {
    const auto& disc = test::sampleDisc();
    readFeature(disc.feature1);
    fs::path out = test::tempDir("demux-all");
    RunOptions options = demuxAllOptions(state, out);
    ASSERT_EQ(demuxRun(disc.feature1, state, options, offeredCaptions(state), host),
              RunOutcome::Done);
    EXPECT_TRUE(hasDone(host));
    EXPECT_TRUE(host.hasLine("Continue on FEATURE_2.EVO"));
    EXPECT_EQ(host.lines.front(), "Opening file FEATURE_1.EVO");
    // The frame report ends the demux run; the read run's closing blank line is its own.
    EXPECT_TRUE(host.lines.back().ends_with("calculated frames.")) << host.text();
    EXPECT_EQ(state.sinks, decltype(state.sinks){});

    auto expected = expectedFeatureOutputs();
    ASSERT_FALSE(expected.empty());
    for (const fs::path& file : expected) {
        fs::path ours = out / file.filename();
        SCOPED_TRACE(ours.string());
        ASSERT_TRUE(fs::exists(ours));
        EXPECT_TRUE(test::readFile(ours) == test::readFile(file));
        EXPECT_TRUE(host.hasLine("Creating " + ours.string()));
    }
    // One file per checked box and nothing else, created in box order.
    std::vector<std::string> creating;
    for (const auto& line : host.lines)
        if (line.starts_with("Creating ")) creating.push_back(line);
    EXPECT_EQ(creating.size(), expected.size());
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(out), {})),
              expected.size());
    auto captions = offeredCaptions(state);
    std::size_t next = 0;
    for (int slot = 0; slot < kSlotCount && next < creating.size(); ++slot)
        if (!captions[slot].empty()) {
            EXPECT_NE(creating[next++].find("." + captions[slot] + "."), std::string::npos);
        }
}

TEST_F(DemuxRunTest, OnlyCheckedBoxesWithTheirExtensionsAndNoFollowOn) {
    const auto& disc = test::sampleDisc();
    readFeature(disc.feature1);
    auto captions = offeredCaptions(state);
    int audio = -1;
    for (int n = 0; n < 16 && audio < 0; ++n)
        if (!captions[audioSlot(n)].empty()) audio = n;
    ASSERT_GE(audio, 0);
    fs::path out = test::tempDir("demux-one");
    RunOptions options;
    options.workdir = out;
    options.cont = false;
    options.audioExt = "ac3";
    options.scan.checked[audioSlot(audio)] = true;
    ASSERT_EQ(demuxRun(disc.feature1, state, options, captions, host), RunOutcome::Done);
    fs::path only = out / ("FEATURE_1." + captions[audioSlot(audio)] + ".ac3");
    EXPECT_TRUE(fs::exists(only));
    EXPECT_GT(fs::file_size(only), 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
    EXPECT_FALSE(host.hasLineContaining("Continue on"));
}

TEST_F(DemuxRunTest, WithoutWorkFolderTheOutputsGoBesideTheInput) {
    EXPECT_EQ(outputFolder("/d/HVDVD_TS/FEATURE_1.EVO", ""), fs::path("/d/HVDVD_TS"));
    EXPECT_EQ(outputFolder("/d/HVDVD_TS/FEATURE_1.EVO", "/w"), fs::path("/w"));

    const auto& disc = test::sampleDisc();
    fs::path dir = test::tempDir("beside");
    fs::copy_file(disc.feature1, dir / "FEATURE_1.EVO");
    readFeature(dir / "FEATURE_1.EVO");
    RunOptions options = demuxAllOptions(state, "");
    ASSERT_EQ(demuxRun(dir / "FEATURE_1.EVO", state, options, offeredCaptions(state), host),
              RunOutcome::Done);
    std::size_t outputs = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with("FEATURE_1.")) ++outputs;
    EXPECT_GT(outputs, 1u);  // the input and its outputs
}

TEST_F(DemuxRunTest, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsCreated) {
    const auto& disc = test::sampleDisc();
    fs::path dir = test::tempDir("self");
    fs::copy_file(disc.feature1, dir / "FEATURE_1.EVO");
    const auto original = test::readFile(dir / "FEATURE_1.EVO");
    readFeature(dir / "FEATURE_1.EVO");
    auto captions = offeredCaptions(state);
    RunOptions options = demuxAllOptions(state, "");
    options.cont = false;
    // The last output's name is a link to the input: writing it would destroy the input.
    int last = kSlotCount - 1;
    while (captions[last].empty()) --last;
    fs::path link = dir / ("FEATURE_1." + captions[last] + "." +
                           (last >= subSlot(0)     ? "sup"
                            : last >= audioSlot(0) ? "mpa"
                                                   : "mpv"));
    fs::create_hard_link(dir / "FEATURE_1.EVO", link);

    EXPECT_EQ(demuxRun(dir / "FEATURE_1.EVO", state, options, captions, host), RunOutcome::Failed);
    EXPECT_FALSE(hasDone(host));
    EXPECT_FALSE(host.hasLineContaining("Creating"));
    EXPECT_TRUE(host.markup.back().starts_with("[re]Error: ")) << host.markup.back();
    EXPECT_TRUE(test::readFile(dir / "FEATURE_1.EVO") == original);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);  // the input and its link
}

TEST_F(DemuxRunTest, AnOutputThatCannotBeCreatedFailsTheRun) {
    const auto& disc = test::sampleDisc();
    readFeature(disc.feature1);
    fs::path dir = test::tempDir("nocreate");
    test::writeFile(dir / "file", {1, 2, 3});
    RunOptions options = demuxAllOptions(state, dir / "file" / "sub");
    EXPECT_EQ(demuxRun(disc.feature1, state, options, offeredCaptions(state), host),
              RunOutcome::Failed);
    EXPECT_FALSE(hasDone(host));
    EXPECT_TRUE(host.markup.back().starts_with("[re]Error: Cannot create ")) << host.markup.back();
    EXPECT_EQ(host.status[0].back(), "Ready");
    EXPECT_EQ(state.input, nullptr);
    EXPECT_EQ(state.sinks, decltype(state.sinks){});
}

TEST_F(DemuxRunTest, ALaterOutputThatCannotBeCreatedKeepsTheEarlierOnes) {
    const auto& disc = test::sampleDisc();
    readFeature(disc.feature1);
    auto captions = offeredCaptions(state);
    fs::path out = test::tempDir("partial");
    RunOptions options = demuxAllOptions(state, out);
    int last = kSlotCount - 1;
    while (captions[last].empty()) --last;
    // A folder in the place of the last output.
    fs::create_directory(out / (kBase + "." + captions[last] + ".sup"));
    EXPECT_EQ(demuxRun(disc.feature1, state, options, captions, host), RunOutcome::Failed);
    EXPECT_FALSE(hasDone(host));
    ASSERT_TRUE(host.hasLineContaining("Creating "));
    EXPECT_EQ(state.sinks, decltype(state.sinks){});
    for (const auto& line : host.lines)
        if (line.starts_with("Creating ")) {
            EXPECT_TRUE(fs::is_regular_file(line.substr(9))) << line;
        }
}

TEST_F(DemuxRunTest, DiskFullWhileWritingFailsTheRun) {
    const auto& disc = test::sampleDisc();
    readFeature(disc.feature1);
    auto captions = offeredCaptions(state);
    fs::path out = test::tempDir("full");
    RunOptions options = demuxAllOptions(state, out);
    // No output may grow past 64 KiB, as if the disk filled up.
    test::FileSizeLimit limit(64 * 1024);
    EXPECT_EQ(demuxRun(disc.feature1, state, options, captions, host), RunOutcome::Failed);
    EXPECT_FALSE(hasDone(host));
    EXPECT_TRUE(host.hasLineContaining("Error: Cannot write")) << host.text();
    EXPECT_TRUE(host.hasLineContaining("File too large")) << host.text();
    EXPECT_EQ(state.sinks, decltype(state.sinks){});
}

TEST_F(DemuxRunTest, CancelKeepsWhatWasWritten) {
    const auto& disc = test::sampleDisc();
    readFeature(disc.feature1);
    fs::path out = test::tempDir("cancel");
    RunOptions options = demuxAllOptions(state, out);
    CancellingHost cancelling(state);
    ASSERT_EQ(demuxRun(disc.feature1, state, options, offeredCaptions(state), cancelling),
              RunOutcome::Cancelled);
    EXPECT_FALSE(cancelling.hasLineContaining("Continue on"));
    EXPECT_FALSE(hasDone(cancelling));
    EXPECT_TRUE(cancelling.hasLine("Cancelled."));
    // Each output holds the start of what a whole run writes.
    for (const fs::path& file : expectedFeatureOutputs()) {
        fs::path ours = out / file.filename();
        ASSERT_TRUE(fs::exists(ours)) << ours;
        auto got = test::readFile(ours);
        auto whole = test::readFile(file);
        ASSERT_LT(got.size(), whole.size()) << ours;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin())) << ours;
    }
}

// A DVD program stream made by ffmpeg, demuxed by us and extracted by ffmpeg itself: the two
// must agree byte for byte, and our frame count must be ffprobe's.
TEST(DemuxRunPeer, MatchesFfmpegOnAVob) {
    if (!test::haveTool("ffmpeg") || !test::haveTool("ffprobe")) GTEST_SKIP() << "no ffmpeg";
    fs::path dir = test::tempDir("peer");
    fs::path vob = dir / "PEER_1.VOB";
    const std::string quiet = "ffmpeg -nostdin -hide_banner -loglevel error -y ";
    auto made = test::runCommand(
        quiet +
        "-f lavfi -i testsrc=size=352x288:rate=25:duration=3 -f lavfi -i sine=f=440:d=3 "
        "-f lavfi -i sine=f=880:d=3 -map 0 -map 1 -map 2 -c:v mpeg2video -b:v 1M -c:a ac3 "
        "-b:a 128k -f dvd " +
        test::shellQuote(vob.string()));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct Peer {
        const char* map;
        const char* format;
        std::string ours;
    };
    const Peer peers[] = {{"0:v:0", "mpeg2video", "PEER_1.MPEG-2.stream.0.mpv"},
                          {"0:a:0", "ac3", "PEER_1.DD.stream.00.mpa"},
                          {"0:a:1", "ac3", "PEER_1.DD.stream.01.mpa"}};

    RunState state;
    RecordingHost host;
    ASSERT_EQ(readRun(vob, state, RunOptions{}, host), RunOutcome::Done) << host.text();
    auto probe = test::runCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames -of csv=p=0 " +
        test::shellQuote(vob.string()));
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_EQ(state.frameCounters[0], std::atoi(probe.out.c_str())) << probe.out;

    fs::path out = dir / "out";
    fs::create_directory(out);
    RunOptions options = demuxAllOptions(state, out);
    ASSERT_EQ(demuxRun(vob, state, options, offeredCaptions(state), host), RunOutcome::Done)
        << host.text();
    for (const Peer& peer : peers) {
        fs::path theirs = dir / (std::string(peer.map).substr(2, 1) + peer.map[4] + ".es");
        auto extracted = test::runCommand(quiet + "-i " + test::shellQuote(vob.string()) +
                                          " -map " + peer.map + " -c copy -f " + peer.format + " " +
                                          test::shellQuote(theirs.string()));
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        SCOPED_TRACE(peer.ours);
        ASSERT_TRUE(fs::exists(out / peer.ours));
        EXPECT_TRUE(test::readFile(out / peer.ours) == test::readFile(theirs));
    }
}

// The frame rate and size are the stream's facts, whatever the log shows, and no read keeps the
// last input's: the calculated frames and a subtitle canvas depend on them.
TEST(ReadRun, FrameFactsWithoutDetailsAndAfreshOnEachRead) {
    const auto& disc = test::sampleDisc();
    RunState state;
    RecordingHost host;
    RunOptions quiet;
    quiet.scan.details = false;
    ASSERT_EQ(readRun(disc.vob, state, quiet, host), RunOutcome::Done);
    EXPECT_EQ(state.videoFrame.width, 720);
    EXPECT_EQ(state.videoFrame.height, 576);
    EXPECT_EQ(sinkContext(state, InputKind::Vob).videoFrame.height, 576);  // the PGS canvas
    EXPECT_EQ(state.frameRates[0], 25.0);
    ASSERT_EQ(readRun(disc.aob, state, quiet, host), RunOutcome::Done);
    EXPECT_EQ(state.frameRates[0], 0);
    EXPECT_EQ(state.videoFrame.width, 0);
}

// The session reads before it writes when its lists are not from its title, and only then.
TEST(Session, ReadsBeforeWritingOnlyWhenTheListsAreFromElsewhere) {
    const auto& disc = test::sampleDisc();
    session::Session session;
    RecordingHost host;
    RunOptions options;
    options.workdir = test::tempDir("session");
    options.scan.checked[videoSlot(0)] = true;
    session.openFile(disc.vob, true);
    ASSERT_EQ(session.demux(options, session.offeredCaptions(), false, host).outcome,
              RunOutcome::Done);
    EXPECT_EQ(host.markup.front(), "Opening file [b]VTS_01_1.VOB[/b]");  // the read first
    EXPECT_EQ(std::count(host.markup.begin(), host.markup.end(), "Opening file VTS_01_1.VOB"), 1);
    EXPECT_TRUE(fs::file_size(options.workdir / "VTS_01_1.MPEG-2.stream.0.mpv") > 0);
    ASSERT_TRUE(session.listsAreCurrent());
    RecordingHost again;
    ASSERT_EQ(session.demux(options, session.offeredCaptions(), false, again).outcome,
              RunOutcome::Done);
    EXPECT_EQ(again.markup.front(), "Opening file VTS_01_1.VOB");  // no read first
    session.openFile(disc.feature1, true);
    EXPECT_FALSE(session.listsAreCurrent());
}

TEST(FrameReport, CountsDurationsAndCalculatedFrames) {
    RunState state;
    RecordingHost host;
    state.frameCounters = {240, 7};
    state.frameRates = {24.0, 0};
    state.measuredDuration = 10.02;
    frameReport(state, host);
    std::vector<std::string> want = {"240 counted frames (0:00:10.000) in video stream 0.",
                                     "240 calculated frames.", "7 frames count in video stream 1."};
    EXPECT_EQ(host.lines, want);
    EXPECT_EQ(host.markup[0], "240 counted frames ([b]0:00:10.000[/b]) in video stream 0.");

    RecordingHost none;
    state.frameCounters = {0, 0};
    state.frameRates = {0, 25.0};
    state.measuredDuration = 2.0;
    frameReport(state, none);
    EXPECT_EQ(none.lines, std::vector<std::string>{"50 calculated frames."});
}

}  // namespace
}  // namespace kavrel
