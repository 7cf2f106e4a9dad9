// Stream numbers per sub-stream id: streams whose ids give the same number never share an output
// or a rebuild decision, the streams of both files of a feature are offered and numbered alike,
// a stream the fast check did not reach is still written when every stream is asked for, and
// each stream's delay against the video.
#include <gtest/gtest.h>

#include <map>

#include "engine/runs.h"
#include "rebuild/rebuild.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;

// One private stream 1 packet of a sub-stream whose payload is its id, repeated.
Bytes substream(uint8_t id, uint64_t pts) {
    const Bytes header = id < 0x80 ? subpictureSubHeader(id) : audioSubHeader(id);
    return Pes(kPrivateStream1Id).pts(pts).subHeader(header).payload(Bytes(64, id)).packet();
}

Bytes video(uint64_t pts) {
    return Pes(0xE0).pts(pts).payload(Bytes(64, 0xE0)).packet();
}

// Packs of the ids, each in turn, `rounds` times.
Bytes packs(const std::vector<uint8_t>& ids, int rounds = 2) {
    PsBuilder ps;
    for (int round = 0; round < rounds; ++round)
        for (uint8_t id : ids) ps.pack({id == 0xE0 ? video(9000) : substream(id, 9000)});
    return ps.bytes();
}

// The number each id was offered under, and what a demux wrote for each slot.
struct Scanned {
    std::map<uint8_t, int> numbers;
    std::array<Bytes, kSlotCount> outputs;
    StreamLists lists;
    std::vector<std::string> lines;
};

Scanned scanBoth(const Bytes& stream) {
    Scanned result;
    ScanRun read;
    read.run(stream, ScanMode::Read);
    for (const StreamInfo& info : read.state.streams.all()) result.numbers[info.id] = info.number;
    read.state.keepStreamLists();
    result.lists = read.state.lists;
    result.lines = read.host.lines;
    ScanRun demux;
    demux.state.streams = read.state.streams;
    demux.selectAll();
    demux.run(stream, ScanMode::Demux);
    for (int slot = 0; slot < kSlotCount; ++slot)
        result.outputs[static_cast<std::size_t>(slot)] = demux.slots.data(slot);
    return result;
}

TEST(StreamNumbers, EachIdHasItsOwnNumberOutputAndRebuildDecision) {
    // AC-3 0x80, DTS 0x88 and LPCM 0xA0 are audio 0 by their ids; 0x81 is audio 1.
    const Scanned s = scanBoth(packs({0xE0, 0x80, 0x88, 0xA0, 0x81, 0x20, 0x60}));
    const std::map<uint8_t, int> expected = {{0xE0, 0}, {0x80, 0}, {0x88, 1}, {0xA0, 2},
                                             {0x81, 3}, {0x20, 0}, {0x60, 1}};
    EXPECT_EQ(s.numbers, expected);
    EXPECT_TRUE(containsLine(s.lines, "DTS HD (DTS) audio stream 1 found!"));
    EXPECT_TRUE(containsLine(s.lines, "Extended subpicture stream 1 found!"));
    for (const auto& [id, number] : expected) {
        if (id == 0xE0) continue;
        const bool sub = id < 0x80;
        const Bytes& out =
            s.outputs[static_cast<std::size_t>(sub ? subSlot(number) : audioSlot(number))];
        // Each output holds its stream's payload alone, a subpicture packet's after its
        // 10-byte "SP" entry header.
        const std::size_t payload = 64;
        EXPECT_EQ(out.size(), 2 * (payload + (sub ? 10 : 0))) << std::hex << int{id};
        EXPECT_EQ(std::count(out.begin(), out.end(), id), static_cast<std::ptrdiff_t>(2 * payload))
            << std::hex << int{id};
    }

    // The rebuild keeps exactly the chosen one of two ids that share a number by their ids.
    std::array<bool, kSlotCount> checked{};
    checked[static_cast<std::size_t>(audioSlot(1))] = true;
    for (const uint8_t id : {uint8_t{0x80}, uint8_t{0x88}}) {
        Bytes pack = PsBuilder().pack({substream(id, 0)}).bytes();
        Renumbering renumbering;
        EXPECT_EQ(filterPack(pack.data(), pack.size(), s.lists, checked, renumbering), id == 0x88)
            << std::hex << int{id};
    }
}

TEST(StreamNumbers, AStreamFoundWhenEveryNumberIsTakenIsWrittenNowhere) {
    std::vector<uint8_t> ids;
    for (int id = 0x80; id <= 0x8F; ++id) ids.push_back(static_cast<uint8_t>(id));
    ids.push_back(0xA0);
    const Scanned s = scanBoth(packs(ids));
    EXPECT_EQ(s.numbers.at(0x8F), 15);
    EXPECT_EQ(s.numbers.at(0xA0), -1);
    EXPECT_TRUE(containsLine(s.lines,
                             "LPCM audio stream found! Every audio number is taken: it cannot be "
                             "chosen."));
    for (const Bytes& out : s.outputs) EXPECT_EQ(std::count(out.begin(), out.end(), 0xA0), 0);

    std::array<bool, kSlotCount> all{};
    all.fill(true);
    Bytes pack = PsBuilder().pack({substream(0xA0, 0)}).bytes();
    Renumbering renumbering;
    EXPECT_FALSE(filterPack(pack.data(), pack.size(), s.lists, all, renumbering));
}

class StreamRuns : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = tempDir("streams"); }

    RunResult demuxEvery(RunState& state, const fs::path& input, RunOptions options) {
        options.workdir = dir_ / "out";
        fs::create_directories(options.workdir);
        const auto captions = offeredCaptions(state);
        for (std::size_t slot = 0; slot < captions.size(); ++slot)
            options.scan.checked[slot] = !captions[slot].empty();
        return demuxRun(input, state, options, captions, host_);
    }

    fs::path dir_;
    RecordingHost host_;
};

TEST_F(StreamRuns, TheStreamsOfBothFilesAreOfferedAndNumberedAlike) {
    // The subpicture is only in the first file; DTS 0x88 comes first in the second.
    writeFile(dir_ / "F_1.EVO", packs({0xE0, 0x80, 0x21}));
    writeFile(dir_ / "F_2.EVO", packs({0xE0, 0x88, 0x80}));
    RunState state;
    ASSERT_EQ(readRun(dir_ / "F_1.EVO", state, RunOptions{}, host_), RunOutcome::Done);
    auto captions = offeredCaptions(state);
    EXPECT_EQ(captions[static_cast<std::size_t>(audioSlot(0))], "DD.stream.00");
    EXPECT_EQ(captions[static_cast<std::size_t>(audioSlot(1))], "DTSHD.stream.01");
    EXPECT_EQ(captions[static_cast<std::size_t>(subSlot(1))], "Subpicture.01");

    const RunResult result = demuxEvery(state, dir_ / "F_1.EVO", RunOptions{});
    ASSERT_EQ(result, RunOutcome::Done) << host_.text();
    EXPECT_EQ(result.inputs, (std::vector<fs::path>{dir_ / "F_1.EVO", dir_ / "F_2.EVO"}));
    const fs::path out = dir_ / "out";
    EXPECT_EQ(readFile(out / "F_1_F_2.DD.stream.00.mpa"), Bytes(4 * 64, 0x80));
    EXPECT_EQ(readFile(out / "F_1_F_2.DTSHD.stream.01.mpa"), Bytes(2 * 64, 0x88));
    EXPECT_EQ(readFile(out / "F_1_F_2.Subpicture.01.sup").size(), 2 * (10 + 64u));
    EXPECT_EQ(result.outputs.size(), 4u);
    for (const OutputWritten& output : result.outputs)
        EXPECT_EQ(output.bytes, fs::file_size(output.path)) << output.path;
}

TEST_F(StreamRuns, AStreamBeyondTheFastCheckIsWrittenWhenEveryStreamIsAsked) {
    PsBuilder ps;
    for (int i = 0; i < 40; ++i) ps.pack({video(9000), substream(0x80, 9000)});
    for (int i = 0; i < 3; ++i) ps.pack({substream(0x89, 9000)});
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
        EXPECT_TRUE(offeredCaptions(state)[static_cast<std::size_t>(audioSlot(1))].empty());
        RunOptions demux = options;
        demux.everyStream = every;
        const RunResult result = demuxEvery(state, dir_ / "LATE.VOB", demux);
        ASSERT_EQ(result, RunOutcome::Done);
        const fs::path late = dir_ / "out" / "LATE.DTSHD.stream.01.mpa";
        EXPECT_EQ(fs::exists(late), every);
        if (every) {
            EXPECT_EQ(readFile(late), Bytes(3 * 64, 0x89));
            EXPECT_EQ(result.outputs.back().path, late);
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
    const IdFamily& mpeg2 = *findFamily(IdSpace::StreamId, 0xE0);
    const IdFamily& ac3 = *findFamily(IdSpace::Private1, 0x80);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamTable table;
        table[table.add(mpeg2, 0xE0, "A_1.EVO")].firstPts = c.video;
        const int audio = table.add(ac3, 0x80, c.sameFile ? "A_1.EVO" : "A_2.EVO");
        table[audio].firstPts = c.stream;
        table.updateDelays();
        EXPECT_EQ(table[audio].delayMs, c.delay);
        EXPECT_FALSE(table[0].delayMs);
    }
}

}  // namespace
}  // namespace kavrel::test
