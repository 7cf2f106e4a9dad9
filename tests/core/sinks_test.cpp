// The seam between the scanner and the output sinks: what a sink is handed for each payload run,
// what a run tells the sink factory, and that every sink is finished on every way out of a run.
#include <gtest/gtest.h>

#include "engine/runs.h"
#include "engine/sinks.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

Bytes counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

TEST(Sinks, EachRunCarriesItsPacketsTimeAndPrivateHeader) {
    const Bytes lpcm = counting(900), video = counting(700);
    PsBuilder ps;
    ps.pack({Pes(0xBD).pts(0x12345).subHeader(audioSubHeader(0xA0)).payload(lpcm).packet()});
    ps.pack({Pes(0xBD).subHeader(audioSubHeader(0xA0)).payload(lpcm).packet()});
    ps.pack({Pes(0xE0).payload(video).packet()});

    ScanRun scan;
    scan.options.chunkSize = 512;  // the packets straddle chunks
    scan.options.checked.fill(true);
    RecordingSink audio, videoSink;
    scan.state.sinks[audioSlot(0)] = &audio;
    scan.state.sinks[videoSlot(0)] = &videoSink;
    scan.run(ps.bytes(), ScanMode::Demux);
    scan.state.sinks.fill(nullptr);

    ASSERT_GE(audio.runs.size(), 4u);
    Bytes joined;
    int starts = 0;
    for (const HandedRun& run : audio.runs) {
        joined.insert(joined.end(), run.bytes.begin(), run.bytes.end());
        starts += run.packetStart;
        // The LPCM header bytes after the first access unit pointer, in every run.
        EXPECT_EQ(run.privateHeader, (Bytes{0x00, 0x0F, 0x80}));
    }
    EXPECT_EQ(joined, concat({lpcm, lpcm}));
    EXPECT_EQ(starts, 2);
    EXPECT_TRUE(audio.runs.front().packetStart);
    EXPECT_TRUE(audio.runs.front().hasPts);
    EXPECT_EQ(audio.runs.front().pts, 0x12345u);
    EXPECT_FALSE(audio.runs.back().hasPts);  // the second packet carries none of its own

    ASSERT_FALSE(videoSink.runs.empty());
    EXPECT_TRUE(videoSink.runs.front().privateHeader.empty());
}

// What a demux run tells its sinks: the read run's earliest first PTS, the first video frame
// size it found (a DVD-Video disc here), or 1920×1080 without one, and whether it is an .AOB.
TEST(Sinks, TheContextComesFromTheReadRun) {
    RunState state;
    RecordingHost host;
    ASSERT_EQ(readRun(sampleDisc().vob, state, RunOptions{}, host), RunOutcome::Done);
    const SinkContext context = sinkContext(state, InputKind::Vob);
    EXPECT_EQ(context.videoFrame.width, 720);
    EXPECT_EQ(context.videoFrame.height, 576);
    EXPECT_EQ(context.minFirstPts, state.minFirstPts);
    EXPECT_NE(context.minFirstPts, kNoPts);
    EXPECT_FALSE(context.aob);

    RunState audioOnly;
    ASSERT_EQ(readRun(sampleDisc().aob, audioOnly, RunOptions{}, host), RunOutcome::Done);
    const SinkContext aob = sinkContext(audioOnly, InputKind::Aob);
    EXPECT_EQ(aob.videoFrame.width, 1920);
    EXPECT_EQ(aob.videoFrame.height, 1080);
    EXPECT_TRUE(aob.aob);
}

// A sink that counts the finish calls of a run and may fail its own.
class FinishingSink : public RecordingSink {
  public:
    FinishingSink(int& count, std::string error) : count_(count) { failure = std::move(error); }
    void finish() override {
        ++count_;
        RecordingSink::finish();
    }

  private:
    int& count_;
};

TEST(Sinks, EverySinkIsFinishedAndTheFirstErrorReported) {
    RunState state;
    int finished = 0;
    {
        RunSinks sinks(state);
        sinks.add(videoSlot(0), std::make_unique<FinishingSink>(finished, "Cannot write a"));
        sinks.add(audioSlot(5), std::make_unique<FinishingSink>(finished, "Cannot write b"));
        sinks.add(subSlot(3), std::make_unique<FinishingSink>(finished, ""));
        EXPECT_NE(state.sinks[subSlot(3)], nullptr);
        try {
            sinks.finishAll();
            ADD_FAILURE() << "no error";
        } catch (const IoError& e) {
            EXPECT_STREQ(e.what(), "Cannot write a");
        }
        EXPECT_EQ(finished, 3);
        EXPECT_EQ(state.sinks, decltype(state.sinks){});
    }
    EXPECT_EQ(finished, 3);  // once each

    // A run that fails before its end still finishes its sinks, quietly.
    finished = 0;
    {
        RunSinks sinks(state);
        sinks.add(audioSlot(1), std::make_unique<FinishingSink>(finished, "Cannot write c"));
        sinks.add(audioSlot(2), std::make_unique<FinishingSink>(finished, ""));
    }
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(state.sinks, decltype(state.sinks){});
}

}  // namespace
}  // namespace kavrel::test
