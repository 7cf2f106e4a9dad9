// The scanner in read mode: stream announcements, time stamps and their header forms, the
// first-header reports, the system header and navigation reports, the chunk loop's progress,
// fast check and stop flag.
#include <gtest/gtest.h>

#include <random>

#include "engine/input_kind.h"
#include "engine/scan_frames.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

Bytes filled(std::size_t size, uint8_t value) {
    return Bytes(size, value);
}

Pes audio(uint8_t id, std::optional<uint64_t> pts, Bytes payload = filled(100, 0x11)) {
    return Pes(0xBD).pts(pts).subHeader(audioSubHeader(id)).payload(payload);
}

Pes subpicture(uint8_t id, std::optional<uint64_t> pts, Bytes payload = filled(100, 0x22)) {
    return Pes(0xBD).pts(pts).subHeader(subpictureSubHeader(id)).payload(payload);
}

TEST(DemuxScan, AnnouncesEachStreamOnceWithItsFormat) {
    PsBuilder ps;
    ps.pack({Pes(0xFD)
                 .pts(1000)
                 .dts(900)
                 .pstd(true)
                 .streamIdExtension(0x55)
                 .payload(filled(50, 0x33))
                 .packet()});
    ps.pack({Pes(0xE3).pts(2000).payload(filled(50, 0x33)).packet()});
    ps.pack({pesPacket(audio(0xC0, 3000))});
    ps.pack({pesPacket(audio(0x89, 3000))});
    ps.pack({pesPacket(audio(0xA2, 3000))});
    ps.pack({pesPacket(audio(0xB3, 3000))});
    ps.pack({pesPacket(audio(0x80, 3000))});  // audio number 0 is held: the next free one
    ps.pack({pesPacket(audio(0x9F, 3000))});  // no such sub-stream: ignored
    ps.pack({pesPacket(subpicture(0x20, 4000))});
    ps.pack({pesPacket(subpicture(0x65, 4000))});
    ps.pack({pesPacket(subpicture(0x3F, 4000))});
    ps.pack({Pes(0xFD).pts(1000).payload(filled(50, 0x33)).packet()});
    ps.pack({Pes(0xFD).pts(1).streamIdExtension(0x56).packet()});
    ps.pack({pesPacket(audio(0xC0, 3000)), pesPacket(subpicture(0x20, 5000))});

    ScanRun scan;
    scan.run(ps.bytes(), ScanMode::Read);
    const std::vector<std::string> expected = {
        "VC-1 video stream 0 found!",
        "H.264 (AVC) video stream 1 found!",
        "Dolby Digital Plus audio stream 0 found!",
        "DTS HD (DTS) audio stream 1 found!",
        "LPCM audio stream 2 found!",
        "Dolby TrueHD audio stream 3 found!",
        "Dolby Digital audio stream 4 found!",
        "Subpicture stream 0 found!",
        "Extended subpicture stream 5 found!",
        "Subpicture stream 31 found!",
    };
    std::vector<std::string> found;
    for (const auto& line : scan.host.lines)
        if (line.ends_with("found!")) found.push_back(line);
    EXPECT_EQ(found, expected);
    EXPECT_EQ(scan.host.markup[0], "[b]VC-1[/b] video stream 0 found!");
    EXPECT_EQ((std::array<int32_t, 2>{0x55, 0xE3}), scan.state.foundVideo);
    EXPECT_EQ(scan.state.foundAudio[0], 0xC0);
    EXPECT_EQ(scan.state.foundAudio[1], 0x89);
    EXPECT_EQ(scan.state.foundAudio[2], 0xA2);
    EXPECT_EQ(scan.state.foundAudio[3], 0xB3);
    EXPECT_EQ(scan.state.foundAudio[4], 0x80);
    EXPECT_EQ(scan.state.foundAudio[15], -1);  // 0x9F
    EXPECT_EQ(scan.state.foundSub[0], 0x20);
    EXPECT_EQ(scan.state.foundSub[5], 0x65);
    EXPECT_EQ(scan.state.foundSub[31], 0x3F);
}

TEST(DemuxScan, MpegTwoAndMlpOnDvdAudio) {
    PsBuilder ps;
    ps.pack({Pes(0xE0).pts(7).payload(filled(20, 0x44)).packet()});
    ps.pack({pesPacket(audio(0xA1, 9))});
    ps.pack({pesPacket(audio(0xA0, 9))});
    ScanRun scan;
    scan.run(ps.bytes(), ScanMode::Read, ".AOB");
    EXPECT_TRUE(scan.host.hasLine("MPEG-2 video stream 0 found!"));
    EXPECT_TRUE(scan.host.hasLine("MLP audio stream 1 found!"));
    EXPECT_TRUE(scan.host.hasLine("LPCM audio stream 0 found!"));
    ScanRun evo;
    evo.run(ps.bytes(), ScanMode::Read, ".EVO");
    EXPECT_TRUE(evo.host.hasLine("LPCM audio stream 1 found!"));
}

// The first PTS and sub-stream id of every stream, whatever form its header takes.
TEST(DemuxScan, FirstPtsReportsKeepTheLowThirtyTwoBits) {
    const uint64_t big = 0x1C0DEF123;  // bits 32, 31 and 30 set
    PsBuilder ps;
    ps.pack({Pes(0xE0).pts(big).dts(big - 3003).stuffing(3).payload(filled(40, 0x55)).packet()});
    ps.pack({pesPacket(audio(0x81, big))});
    ps.pack({Pes(0xFD)
                 .pts(0x0ABCDE)
                 .pstd(true)
                 .streamIdExtension(0x56)
                 .payload(filled(40, 0x55))
                 .packet()});
    ps.pack({pesPacket(subpicture(0x21, 0x12345, Bytes{0, 0, 1, 2}))});
    ps.pack({pesPacket(subpicture(0x62, 0x12346, Bytes{0, 8, 1, 2}))});
    ScanRun scan;
    scan.run(ps.bytes(), ScanMode::Read);
    const std::string text = scan.host.text();
    EXPECT_NE(text.find("MPEG-2 video stream 0 found!\n"
                        "   First PTS = C0DEF123\n"
                        "   Substream id = E0\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Dolby Digital audio stream 1 found!\n"
                        "   First PTS = C0DEF123\n"
                        "   Substream id = 81\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("VC-1 video stream 1 found!\n"
                        "   First PTS = 000ABCDE\n"
                        "   Substream id = 56\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Subpicture stream 1 found!\n"
                        "   First PTS = 00012345\n"
                        "   Substream id = 21\n"
                        "   Format = 8bitRLE\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Extended subpicture stream 2 found!\n"
                        "   First PTS = 00012346\n"
                        "   Substream id = 62\n"
                        "   Format = 2bitRLE\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::find(scan.host.markup.begin(), scan.host.markup.end(),
                          "   First PTS = [re]C0DEF123[/re]") != scan.host.markup.end());
    // The smallest first PTS of the audio and video streams; subpictures do not count.
    EXPECT_EQ(scan.state.minFirstPts, 0x0ABCDEu);
}

TEST(DemuxScan, MinimumFirstPtsIsKeptWithoutDetails) {
    PsBuilder ps;
    ps.pack({pesPacket(audio(0x80, 5000))});
    ps.pack({Pes(0xE0).pts(4000).payload(filled(10, 1)).packet()});
    ps.pack({pesPacket(audio(0x81, 4500))});
    ScanRun scan;
    scan.options.details = false;
    scan.run(ps.bytes(), ScanMode::Read);
    EXPECT_FALSE(scan.host.hasLineContaining("First PTS"));
    EXPECT_EQ(scan.state.minFirstPts, 4000u);
    // A later run only lowers it.
    ScanRun again;
    again.state.minFirstPts = 100;
    again.run(ps.bytes(), ScanMode::Read);
    EXPECT_EQ(again.state.minFirstPts, 100u);
}

TEST(DemuxScan, SecondCallReportsEveryStreamAgain) {
    PsBuilder ps;
    ps.pack({Pes(0xE0).pts(1).payload(filled(10, 1)).packet()});
    ps.pack({pesPacket(audio(0x80, 2))});
    const std::filesystem::path file = tempDir("again") / "a.EVO";
    writeFile(file, ps.bytes());
    ScanRun scan;
    scan.run(file, ScanMode::Read);
    scan.run(file, ScanMode::Read);
    int announced = 0, firstPts = 0;
    for (const auto& line : scan.host.lines) {
        announced += line.ends_with("found!");
        firstPts += line.starts_with("   First PTS");
    }
    EXPECT_EQ(announced, 4);
    EXPECT_EQ(firstPts, 4);
}

// The frame count of the register rule: a 32-bit register that takes the whole stream.
int32_t registerCount(const Bytes& run, VideoKind kind) {
    const uint32_t wanted = 0x100u | frameStartCode(kind);
    uint32_t reg = kEmptyStartRegister;
    int32_t count = 0;
    for (uint8_t byte : run) {
        reg = reg << 8 | byte;
        if (reg == wanted) ++count;
    }
    return count;
}

// The frames counted in a stream handed over in two runs, cut at `cut`.
int32_t countInRuns(const Bytes& run, std::size_t cut, VideoKind kind) {
    uint32_t reg = kEmptyStartRegister;
    const int32_t head = countFrameStarts(std::span(run).first(cut), kind, reg);
    return head + countFrameStarts(std::span(run).subspan(cut), kind, reg);
}

TEST(DemuxScan, FrameCountEqualsTheRegisterRuleWhereverTheStreamIsCut) {
    std::mt19937 random(7);
    for (VideoKind kind : {VideoKind::Mpeg2, VideoKind::H264, VideoKind::Vc1}) {
        const uint8_t code = frameStartCode(kind);
        for (int round = 0; round < 300; ++round) {
            Bytes run(random() % 300);
            // Mostly zeros, ones and the code, so that start codes and near misses abound.
            for (auto& byte : run) {
                const unsigned pick = random() % 8;
                byte = static_cast<uint8_t>(pick < 4   ? 0
                                            : pick < 6 ? 1
                                            : pick < 7 ? code
                                                       : random());
            }
            ASSERT_EQ(countInRuns(run, random() % (run.size() + 1), kind), registerCount(run, kind))
                << "kind " << static_cast<int>(kind) << " round " << round;
        }
    }
    // A start code cut anywhere counts once; no zero bytes stand before the stream.
    for (std::size_t cut = 0; cut <= 5; ++cut)
        EXPECT_EQ(countInRuns(Bytes{0xAA, 0x00, 0x00, 0x01, 0x00}, cut, VideoKind::Mpeg2), 1);
    EXPECT_EQ(countInRuns(Bytes{0x01, 0x00}, 1, VideoKind::Mpeg2), 0);
}

// The first packs tell an input's kind; its name decides only what they leave open.
TEST(DemuxScan, InputKindComesFromTheFirstPacks) {
    auto disc = [](uint8_t video, const std::vector<Bytes>& subHeaders) {
        PsBuilder ps;
        Pes pictures(video);
        if (video == 0xFD) pictures.streamIdExtension(0x55);
        if (video) ps.pack({pictures.pts(1).payload(Bytes(900, 0)).packet()});
        for (const Bytes& header : subHeaders)
            ps.pack({Pes(0xBD).pts(1).subHeader(header).payload(Bytes(700, 0x22)).packet()});
        return ps.bytes();
    };
    const Bytes aob = {0xA0, 0, 0, 0x0B, 0, 0x0A, 0x10, 0x0F, 0x0F, 0, 0x01, 0x80},
                mlp = {0xA1, 0, 0, 6};
    const std::tuple<Bytes, const char*, InputKind> cases[] = {
        {disc(0xFD, {audioSubHeader(0xC0)}), "EVO.VOB", InputKind::Evo},
        {disc(0xE0, {audioSubHeader(0xC1)}), "EVO.AOB", InputKind::Evo},
        {disc(0xE0, {audioSubHeader(0x80), audioSubHeader(0xA0)}), "VOB.AOB", InputKind::Vob},
        {disc(0xE0, {audioSubHeader(0x80)}), "VOB.EVO", InputKind::Evo},  // the name decides
        {disc(0, {aob, aob}), "AOB.vob", InputKind::Aob},
        {disc(0, {mlp}), "MLP.EVO", InputKind::Aob},
        {{}, "EMPTY.AOB", InputKind::Aob},
    };
    const std::filesystem::path dir = tempDir("input-kind");
    for (const auto& [content, name, kind] : cases) {
        writeFile(dir / name, content);
        EXPECT_EQ(inputKindOf(dir / name), kind) << name;
    }
}

TEST(DemuxScan, CountsFramesPerVideoStreamAndKind) {
    const Bytes mpeg2 = {0x00, 0x00, 0x01, 0x00, 0x12, 0x00, 0x00,
                         0x01, 0xB3, 0x00, 0x00, 0x01, 0x00};
    const Bytes vc1 = {0x00, 0x00, 0x01, 0x0D, 0x00, 0x00, 0x01, 0x00};
    PsBuilder ps;
    for (int i = 0; i < 3; ++i) {
        ps.pack({Pes(0xE0).pts(1).payload(mpeg2).packet()});
        ps.pack({Pes(0xFD).pts(1).streamIdExtension(0x56).payload(vc1).packet()});
    }
    ScanRun scan;
    scan.run(ps.bytes(), ScanMode::Read);
    EXPECT_EQ(scan.state.frameCounters[0], 6);
    EXPECT_EQ(scan.state.frameCounters[1], 3);
    // Counters are not reset on entry: a follow-on file adds to them.
    scan.run(ps.bytes(), ScanMode::Read);
    EXPECT_EQ(scan.state.frameCounters[0], 12);

    ScanRun off;
    off.options.countFrames = false;
    off.run(ps.bytes(), ScanMode::Read);
    EXPECT_EQ(off.state.frameCounters[0], 0);

    // In demux mode only the checked video streams are counted.
    ScanRun demuxing;
    demuxing.options.checked[videoSlot(1)] = true;
    demuxing.run(ps.bytes(), ScanMode::Demux);
    EXPECT_EQ(demuxing.state.frameCounters[0], 0);
    EXPECT_EQ(demuxing.state.frameCounters[1], 3);
}

TEST(DemuxScan, DvdAudioSystemHeaderSummary) {
    auto disc = [](int audioBound, int videoBound) {
        PsBuilder ps;
        ps.pack({systemHeader(audioBound, videoBound), pesPacket(audio(0xA0, 1))});
        for (int i = 0; i < 3; ++i) ps.pack({pesPacket(audio(0xA0, 1))});
        return ps.bytes();
    };
    ScanRun two;
    two.options.chunkSize = 2048;
    two.run(disc(2, 0), ScanMode::Read, ".AOB");
    EXPECT_TRUE(two.host.hasLine("It contains 2 audio streams.")) << two.host.text();
    EXPECT_EQ(two.host.markup[0], "It contains [b]2[/b] audio streams.");

    ScanRun one;
    one.options.chunkSize = 2048;
    one.run(disc(1, 1), ScanMode::Read, ".AOB");
    EXPECT_TRUE(one.host.hasLine("It contains 1 video stream and 1 audio stream."));

    // Only the first full chunk is looked at, and only DVD-Audio reports it.
    ScanRun evo;
    evo.options.chunkSize = 2048;
    evo.run(disc(2, 0), ScanMode::Read, ".EVO");
    EXPECT_FALSE(evo.host.hasLineContaining("It contains"));
    ScanRun shortFile;
    shortFile.options.chunkSize = 65536;
    shortFile.run(disc(2, 0), ScanMode::Read, ".AOB");
    EXPECT_FALSE(shortFile.host.hasLineContaining("It contains"));
}

TEST(DemuxScan, NavigationReport) {
    PsBuilder ps;
    ps.pack({systemHeader(2, 1), navigationPacket({.vobNumber = 3,
                                                   .firstPtm = 0x1000,
                                                   .lastPtm = 0x1000 + 90000 * 61 + 90,
                                                   .audioEntries = 5,
                                                   .subEntries = 4})});
    ps.pack({navigationPacket({.vobNumber = 4, .firstPtm = 0, .lastPtm = 90000})});
    ScanRun scan;
    scan.options.chunkSize = 2048;
    scan.run(ps.bytes(), ScanMode::Read);
    // The system header's audio bound wins over the packet's audio list; only one report.
    EXPECT_EQ(scan.host.text(),
              "VOB number 3 contains 1 video , 2 audio and 4 subpicture streams.\n"
              "PTM of first video frame = 00001000\n"
              "PTM of last video frame = 0053D5AA\n"
              "Duration = 0:01:01.001\n");
    EXPECT_NEAR(scan.state.measuredDuration, 61.001, 1e-9);
    // A demux run counts the same streams.
    ScanRun demuxing;
    demuxing.options.chunkSize = 2048;
    demuxing.run(ps.bytes(), ScanMode::Demux);
    EXPECT_EQ(demuxing.host.text(), scan.host.text());

    // Without a system header in the first chunk the packet's audio list is counted; DVD-Video
    // packets keep their lists 128 bytes nearer the start.
    PsBuilder vob;
    vob.pack({navigationPacket({.vobNumber = 1, .audioEntries = 1, .vob = true})});
    ScanRun dvd;
    dvd.state.measuredDuration = 10;
    dvd.run(vob.bytes(), ScanMode::Read, ".VOB");
    EXPECT_TRUE(dvd.host.hasLine("VOB number 1 contains 0 video and 1 audio stream."))
        << dvd.host.text();
    EXPECT_TRUE(dvd.host.hasLine("Duration = 0:00:10.000"));
    ScanRun wrongLayout;
    wrongLayout.run(vob.bytes(), ScanMode::Read, ".EVO");
    EXPECT_TRUE(wrongLayout.host.hasLine("VOB number 1 contains 0 video and 0 audio stream."));
}

TEST(DemuxScan, NavigationPacketAcrossChunksAndTooShort) {
    const Bytes nav =
        navigationPacket({.vobNumber = 9, .firstPtm = 5, .lastPtm = 90005, .subEntries = 2});
    // Put the packet so that its fields fall on both sides of every chunk boundary tried.
    for (std::size_t lead : {0u, 30u, 200u, 500u, 600u, 1000u}) {
        Bytes bytes(lead + 300, 0xFF);
        bytes.insert(bytes.end(), nav.begin(), nav.end());
        ScanRun scan;
        scan.options.chunkSize = 1024;
        scan.run(bytes, ScanMode::Read);
        EXPECT_TRUE(
            scan.host.hasLine("VOB number 9 contains 0 video , 0 audio and 2 subpicture "
                              "streams."))
            << lead << "\n"
            << scan.host.text();
        EXPECT_TRUE(scan.host.hasLine("Duration = 0:00:01.000"));
    }
    // A packet cut before its list entries reads them as absent; one without times is skipped.
    ScanRun cut;
    cut.run(navigationPacket({.vobNumber = 2, .subEntries = 3, .bodyBytes = 100}), ScanMode::Read);
    EXPECT_TRUE(cut.host.hasLine("VOB number 2 contains 0 video and 0 audio stream."));
    ScanRun tiny;
    tiny.run(concat({navigationPacket({.vobNumber = 2, .bodyBytes = 40}),
                     navigationPacket({.vobNumber = 7})}),
             ScanMode::Read);
    EXPECT_TRUE(tiny.host.hasLineContaining("VOB number 7"));
    EXPECT_FALSE(tiny.host.hasLineContaining("VOB number 2"));
}

// A padding packet whose body runs into the next chunk is passed over as a whole: the start
// codes inside it are not packets.
TEST(DemuxScan, SkipsCarryIntoTheNextChunk) {
    Bytes body(3000, 0xAA);
    const Bytes fake = Pes(0xE0).pts(1).payload(filled(8, 0)).packet();
    for (std::size_t at = 1000; at + fake.size() < body.size(); at += 300)
        std::copy(fake.begin(), fake.end(), body.begin() + static_cast<std::ptrdiff_t>(at));
    for (uint8_t id : {uint8_t{0xBE}, uint8_t{0xBC}, uint8_t{0xBF}}) {
        const Bytes bytes = concat({plainPacket(id, body), pesPacket(audio(0x80, 1))});
        ScanRun scan;
        scan.options.chunkSize = 1024;
        scan.run(bytes, ScanMode::Read);
        EXPECT_FALSE(scan.host.hasLineContaining("video")) << std::hex << int{id};
        EXPECT_TRUE(scan.host.hasLine("Dolby Digital audio stream 0 found!"));
    }
}

TEST(DemuxScan, ProgressFastCheckAndRepaint) {
    // 9 MiB of packs with video start codes, read in 256 KiB chunks.
    PsBuilder ps;
    Bytes payload = filled(1900, 0x5A);
    payload[0] = 0;
    payload[1] = 0;
    payload[2] = 1;
    payload[3] = 0;
    while (ps.size() < 9 * 1024 * 1024) ps.pack({Pes(0xE0).pts(1).payload(payload).packet()});
    const std::filesystem::path file = tempDir("progress") / "big.EVO";
    writeFile(file, ps.bytes());
    const std::string sizeMiB = std::to_string(ps.size() / 1048576);

    ScanRun full;
    full.options.chunkSize = kChunkSize;
    full.options.fastCheck = false;
    EXPECT_EQ(full.run(file, ScanMode::Read), ScanEnd::EndOfInput);
    ASSERT_EQ(full.host.status[1].size(), 2u);
    EXPECT_TRUE(full.host.status[1][0].starts_with("4/" + sizeMiB + " Mbytes, Remaining time: 0:0"))
        << full.host.status[1][0];
    EXPECT_TRUE(full.host.status[1][1].starts_with("8/" + sizeMiB + " Mbytes"));
    EXPECT_EQ(full.host.pumps, 2);
    EXPECT_GT(full.state.frameCounters[0], 4000);

    // The chunk that passes the limit is still scanned, then the scan stops with no counts.
    ScanRun fast;
    fast.options.chunkSize = kChunkSize;
    fast.options.fastCheckLimit = 4 * 1024 * 1024;
    EXPECT_EQ(fast.run(file, ScanMode::Read), ScanEnd::FastCheckLimit);
    EXPECT_EQ(fast.state.frameCounters[0], 0);
    EXPECT_EQ(fast.host.status[1].size(), 1u);

    // The fast check belongs to read runs only.
    ScanRun demuxing;
    demuxing.options.chunkSize = kChunkSize;
    demuxing.options.fastCheckLimit = 4 * 1024 * 1024;
    EXPECT_EQ(demuxing.run(file, ScanMode::Demux), ScanEnd::EndOfInput);
}

// A stop asked for during the progress report ends the scan before the next read.
class StoppingHost : public RecordingHost {
  public:
    RunState* state = nullptr;
    int enabled = 0;
    void pump() override {
        RecordingHost::pump();
        state->stopFlag = true;
    }
    void setCancelEnabled(bool on) override { enabled += on ? 1 : -1; }
};

TEST(DemuxScan, StopFlagEndsTheScanAtAChunkBoundary) {
    PsBuilder ps;
    Bytes payload = {0, 0, 1, 0};
    payload.resize(1000, 0x77);
    while (ps.size() < 6 * 1024 * 1024) {
        ps.pack({Pes(0xE0).pts(1).payload(payload).packet()});
    }
    const std::filesystem::path file = tempDir("stop") / "s.EVO";
    writeFile(file, ps.bytes());
    RunState state;
    state.stopFlag = true;  // cleared on entry
    StoppingHost host;
    host.state = &state;
    InputFile input(file);
    state.input = &input;
    ScanOptions options;
    options.chunkSize = 1024 * 1024;
    EXPECT_EQ(demux(state, options, host, ScanMode::Read), ScanEnd::Stopped);
    EXPECT_EQ(input.position(), 4u * 1024 * 1024);
    EXPECT_EQ(state.frameCounters[0], 0);
    EXPECT_EQ(host.enabled, 0);  // enabled on entry, disabled on the way out
    EXPECT_FALSE(state.demuxing);
}

}  // namespace
}  // namespace kavrel::test
