// Stream numbers per sub-stream id: streams whose ids give the same number never share an output
// or a rebuild decision, the streams of both files of a feature are offered and numbered alike,
// a stream the fast check did not reach is written when every stream is asked for, and delays.
#include <gtest/gtest.h>

#include "engine/runs.h"
#include "rebuild/rebuild.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;

// A packet of video 0xE0 or of a private stream 1 sub-stream, its payload the id repeated.
Bytes packet(uint8_t id) {
    if (id == 0xE0) return Pes(id).pts(9000).payload(Bytes(64, id)).packet();
    const Bytes header = id < 0x80 ? subpictureSubHeader(id) : audioSubHeader(id);
    return Pes(kPrivateStream1Id).pts(9000).subHeader(header).payload(Bytes(64, id)).packet();
}

// Two packs of each id, in turn.
Bytes packs(const std::vector<uint8_t>& ids) {
    PsBuilder ps;
    for (int round = 0; round < 2; ++round)
        for (uint8_t id : ids) ps.pack({packet(id)});
    return ps.bytes();
}

bool rebuildKeeps(uint8_t id, const StreamLists& lists, const std::array<bool, kSlotCount>& on) {
    Bytes pack = PsBuilder().pack({packet(id)}).bytes();
    Renumbering renumbering;
    return filterPack(pack.data(), pack.size(), lists, on, renumbering);
}

TEST(StreamNumbers, EachIdHasItsOwnNumberOutputAndRebuildDecision) {
    // AC-3 0x80, DTS 0x88 and LPCM 0xA0 are audio 0 by their ids, 0x81 is audio 1; the
    // subpicture 0x20 and the extended one 0x60 are both subpicture 0.
    const Bytes stream = packs({0xE0, 0x80, 0x88, 0xA0, 0x81, 0x20, 0x60});
    ScanRun read;
    read.run(stream, ScanMode::Read);
    ScanRun demux;
    demux.state.streams = read.state.streams;
    demux.selectAll();
    demux.run(stream, ScanMode::Demux);
    const std::vector<std::pair<uint8_t, int>> expected = {
        {0x80, audioSlot(0)}, {0x88, audioSlot(1)}, {0xA0, audioSlot(2)},
        {0x81, audioSlot(3)}, {0x20, subSlot(0)},   {0x60, subSlot(1)}};
    EXPECT_TRUE(read.host.hasLine("DTS HD (DTS) audio stream 1 found!"));
    for (const auto& [id, slot] : expected) {
        const StreamInfo& info = read.state.streams[read.state.streams.find(IdSpace::Private1, id)];
        EXPECT_EQ(info.slot(), slot) << std::hex << int{id};
        // Each output holds its stream's payload alone (a subpicture's after "SP" headers).
        const Bytes& out = demux.slots.data(slot);
        EXPECT_EQ(out.size(), id < 0x80 ? 2 * (10 + 64u) : 2 * 64u) << std::hex << int{id};
        EXPECT_EQ(std::count(out.begin(), out.end(), id), 2 * 64) << std::hex << int{id};
    }

    // The rebuild keeps exactly the chosen one of two ids that share a number by their ids.
    read.state.keepStreamLists();
    std::array<bool, kSlotCount> checked{};
    checked[static_cast<std::size_t>(audioSlot(1))] = true;
    EXPECT_FALSE(rebuildKeeps(0x80, read.state.lists, checked));
    EXPECT_TRUE(rebuildKeeps(0x88, read.state.lists, checked));
}

TEST(StreamNumbers, AStreamFoundWhenEveryNumberIsTakenIsWrittenNowhere) {
    std::vector<uint8_t> ids;
    for (int id = 0x80; id <= 0x8F; ++id) ids.push_back(static_cast<uint8_t>(id));
    ids.push_back(0xA0);
    ScanRun scan;
    scan.selectAll();
    scan.run(packs(ids), ScanMode::Demux);
    EXPECT_EQ(scan.state.streams[scan.state.streams.find(IdSpace::Private1, 0xA0)].number, -1);
    for (int slot = 0; slot < kSlotCount; ++slot)
        EXPECT_EQ(std::count(scan.slots.data(slot).begin(), scan.slots.data(slot).end(), 0xA0), 0);

    ScanRun read;
    read.run(packs(ids), ScanMode::Read);
    EXPECT_TRUE(read.host.hasLine(
        "LPCM audio stream found! Every audio number is taken: it cannot be chosen."));
    read.state.keepStreamLists();
    std::array<bool, kSlotCount> all{};
    all.fill(true);
    EXPECT_FALSE(rebuildKeeps(0xA0, read.state.lists, all));
}

class StreamRuns : public ::testing::Test {
  protected:
    RunResult demux(RunState& state, const fs::path& input, RunOptions options) {
        options.workdir = dir_ / "out";
        fs::create_directories(options.workdir);
        const auto captions = offeredCaptions(state);
        for (std::size_t slot = 0; slot < captions.size(); ++slot)
            options.scan.checked[slot] = !captions[slot].empty();
        return demuxRun(input, state, options, captions, host_);
    }

    fs::path dir_ = tempDir("streams");
    RecordingHost host_;
};

TEST_F(StreamRuns, TheStreamsOfBothFilesAreOfferedAndNumberedAlike) {
    // The subpicture is only in the first file; DTS 0x88 comes first in the second.
    writeFile(dir_ / "F_1.EVO", packs({0xE0, 0x80, 0x21}));
    writeFile(dir_ / "F_2.EVO", packs({0xE0, 0x88, 0x80}));
    RunState state;
    ASSERT_EQ(readRun(dir_ / "F_1.EVO", state, RunOptions{}, host_), RunOutcome::Done);
    const RunResult result = demux(state, dir_ / "F_1.EVO", RunOptions{});
    ASSERT_EQ(result, RunOutcome::Done) << host_.text();
    EXPECT_EQ(result.inputs, (std::vector<fs::path>{dir_ / "F_1.EVO", dir_ / "F_2.EVO"}));
    const fs::path out = dir_ / "out";
    EXPECT_EQ(readFile(out / "F_1_F_2.DD.stream.00.mpa"), Bytes(4 * 64, 0x80));
    EXPECT_EQ(readFile(out / "F_1_F_2.DTSHD.stream.01.mpa"), Bytes(2 * 64, 0x88));
    EXPECT_EQ(readFile(out / "F_1_F_2.Subpicture.01.sup").size(), 2 * (10 + 64u));
    ASSERT_EQ(result.outputs.size(), 4u);
    for (const OutputWritten& output : result.outputs)
        EXPECT_EQ(output.bytes, fs::file_size(output.path)) << output.path;
}

TEST_F(StreamRuns, AStreamBeyondTheFastCheckIsWrittenWhenEveryStreamIsAsked) {
    PsBuilder ps;
    for (int i = 0; i < 40; ++i) ps.pack({packet(0xE0), packet(0x80)});
    for (int i = 0; i < 3; ++i) ps.pack({packet(0x89)});
    writeFile(dir_ / "LATE.VOB", ps.bytes());
    RunOptions options;
    options.scan.chunkSize = 4096;
    options.scan.fastCheckLimit = 16384;
    for (bool every : {false, true}) {
        SCOPED_TRACE(every);
        RunState state;
        const RunResult read = readRun(dir_ / "LATE.VOB", state, options, host_);
        ASSERT_EQ(read, RunOutcome::Done);
        EXPECT_TRUE(read.fastCheckStopped);
        options.everyStream = every;
        ASSERT_EQ(demux(state, dir_ / "LATE.VOB", options), RunOutcome::Done);
        const fs::path late = dir_ / "out" / "LATE.DTSHD.stream.01.mpa";
        EXPECT_EQ(fs::exists(late), every);
        if (every) {
            EXPECT_EQ(readFile(late), Bytes(3 * 64, 0x89));
        }
        fs::remove_all(dir_ / "out");
    }
}

TEST(StreamTable, DelaysAgainstTheVideo) {
    struct Case {
        const char* name;
        uint32_t video;
        uint32_t stream;
        bool sameFile;
        std::optional<int64_t> delay;
    };
    const Case cases[] = {
        {"after the video", 90000, 99000, true, 100},
        {"before the video", 90000, 89100, true, -10},
        {"rounded to the millisecond", 0, 134, true, 1},
        {"across the wrap of the low 32 bits", 0xFFFFFF00u, 0x00000100u, true, 6},
        {"first met in another file", 90000, 90000, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamTable table;
        table[table.add(*findFamily(IdSpace::StreamId, 0xE0), 0xE0, "A_1.EVO")].firstPts = c.video;
        const int audio = table.add(*findFamily(IdSpace::Private1, 0x80), 0x80,
                                    c.sameFile ? "A_1.EVO" : "A_2.EVO");
        table[audio].firstPts = c.stream;
        table.updateDelays();
        EXPECT_EQ(table[audio].delayMs, c.delay);
    }
}

}  // namespace
}  // namespace kavrel::test
