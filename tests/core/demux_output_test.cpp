// The scanner in demux mode: payload of the checked streams to their slots, in runs, whatever
// the chunk size; the subpicture entry framing; write errors.
#include <gtest/gtest.h>

#include <random>

#include "engine/sink.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

Bytes pattern(std::size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

// A stream of every kind of packet, with the payload each slot must receive.
struct Mixed {
    Bytes stream;
    std::array<Bytes, kSlotCount> expected;
};

Mixed mixedStream() {
    Mixed m;
    PsBuilder ps;
    std::mt19937 random(3);
    for (int i = 0; i < 40; ++i) {
        const Bytes video = pattern(1500 + random() % 400, static_cast<uint8_t>(i));
        const Bytes vc1 = pattern(900, static_cast<uint8_t>(i + 1));
        const Bytes ac3 = pattern(600 + random() % 100, static_cast<uint8_t>(i + 2));
        const Bytes lpcm = pattern(300, static_cast<uint8_t>(i + 3));
        const Bytes truehd = pattern(200, static_cast<uint8_t>(i + 4));
        const Bytes mpa = pattern(100, static_cast<uint8_t>(i + 5));
        ps.pack({systemHeader(3, 1),
                 navigationPacket(
                     {.vobNumber = 1, .firstPtm = 0, .lastPtm = 90000, .bodyBytes = 300})});
        ps.pack({Pes(0xE0)
                     .pts(1000u + 3003u * static_cast<unsigned>(i))
                     .dts(1000u)
                     .payload(video)
                     .packet()});
        ps.pack({Pes(0xFD)
                     .pts(5)
                     .pstd(i == 0)
                     .streamIdExtension(0x56)
                     .stuffing(i % 3)
                     .payload(vc1)
                     .packet(),
                 Pes(0xBD).pts(7).subHeader(audioSubHeader(0x80)).payload(ac3).packet(),
                 Pes(0xC0).payload(mpa).packet()});
        ps.pack({Pes(0xBD).subHeader(audioSubHeader(0xA1)).payload(lpcm).packet(),
                 Pes(0xBD).pts(9).subHeader(audioSubHeader(0xB2)).payload(truehd).packet(),
                 Pes(0xBD).subHeader(audioSubHeader(0x9A)).payload(lpcm).packet(),
                 Pes(0xE5).payload(lpcm).packet()});
        auto add = [&m](int slot, const Bytes& bytes) {
            Bytes& to = m.expected[static_cast<std::size_t>(slot)];
            to.insert(to.end(), bytes.begin(), bytes.end());
        };
        add(videoSlot(0), video);
        add(videoSlot(1), vc1);
        // Each audio stream takes the next free number after AC-3's 0: MPEG audio 0xC0 is a
        // stream of its own.
        add(audioSlot(0), ac3);
        add(audioSlot(1), mpa);
        add(audioSlot(2), lpcm);
        add(audioSlot(3), truehd);
    }
    m.stream = ps.bytes();
    return m;
}

TEST(DemuxOutput, PayloadOfEachStreamWhateverTheChunkSize) {
    const Mixed m = mixedStream();
    const std::filesystem::path file = tempDir("mixed") / "m.EVO";
    writeFile(file, m.stream);
    std::vector<std::string> firstLog;
    for (std::size_t chunk :
         {std::size_t{1}, std::size_t{7}, std::size_t{2048}, std::size_t{5000}, kChunkSize}) {
        ScanRun scan;
        scan.options.chunkSize = chunk;
        scan.selectAll();
        scan.run(file, ScanMode::Demux);
        for (int slot = 0; slot < kSlotCount; ++slot)
            ASSERT_EQ(scan.slots.data(slot), m.expected[static_cast<std::size_t>(slot)])
                << "slot " << slot << " chunk " << chunk;
        // Demux mode announces nothing, but gives the navigation report.
        EXPECT_FALSE(scan.host.hasLineContaining("found!"));
        EXPECT_TRUE(scan.host.hasLineContaining("VOB number 1"));
        if (firstLog.empty()) firstLog = scan.host.lines;
        EXPECT_EQ(scan.host.lines, firstLog) << chunk;
        // Payload goes out in runs, not byte by byte.
        if (chunk == kChunkSize) {
            EXPECT_LE(scan.slots.writes, 40 * 6 + 10);
        }
    }
}

TEST(DemuxOutput, OnlyCheckedAndOpenSlotsAreWritten) {
    const Mixed m = mixedStream();
    ScanRun scan;
    scan.options.checked[audioSlot(0)] = true;
    scan.options.checked[videoSlot(1)] = true;  // checked but not open
    scan.slots.open(audioSlot(0));
    scan.slots.open(videoSlot(0));  // open but not checked
    scan.run(m.stream, ScanMode::Demux);
    EXPECT_EQ(scan.slots.data(audioSlot(0)), m.expected[audioSlot(0)]);
    EXPECT_TRUE(scan.slots.data(videoSlot(0)).empty());

    // A read run writes nothing.
    ScanRun reading;
    reading.selectAll();
    reading.run(m.stream, ScanMode::Read);
    for (int slot = 0; slot < kSlotCount; ++slot) EXPECT_TRUE(reading.slots.data(slot).empty());
}

Bytes spEntry(uint32_t time) {
    return {'S',
            'P',
            static_cast<uint8_t>(time),
            static_cast<uint8_t>(time >> 8),
            static_cast<uint8_t>(time >> 16),
            static_cast<uint8_t>(time >> 24),
            0,
            0,
            0,
            0};
}

Bytes subPes(uint8_t id, std::optional<uint64_t> pts, const Bytes& payload) {
    return Pes(0xBD).pts(pts).subHeader({id}).payload(payload).packet();
}

TEST(DemuxOutput, SubpictureEntriesStartAtPacketsWithTheirOwnPts) {
    const Bytes unit1a = pattern(1000, 1), unit1b = pattern(800, 2), unit2 = pattern(500, 3);
    const Bytes other = pattern(300, 4);
    PsBuilder ps;
    ps.pack({Pes(0xE0).pts(0x9999).payload(pattern(100, 9)).packet()});
    ps.pack({subPes(0x20, 90000, unit1a)});
    // A video packet's PTS must not leak into the unit's next packet.
    ps.pack({Pes(0xE0).pts(0x7777).payload(pattern(100, 9)).packet()});
    ps.pack({subPes(0x20, std::nullopt, unit1b)});
    ps.pack({subPes(0x61, 80000, other)});
    // A packet at the earliest first PTS is time 0 and still starts an entry.
    ps.pack({subPes(0x20, 9000, unit2)});

    ScanRun scan;
    scan.selectAll();
    scan.state.minFirstPts = 9000;
    scan.options.chunkSize = 512;  // the first unit's packet straddles chunks: one header
    scan.run(ps.bytes(), ScanMode::Demux);
    EXPECT_EQ(scan.slots.data(subSlot(0)),
              concat({spEntry(81000), unit1a, unit1b, spEntry(0), unit2}));
    EXPECT_EQ(scan.slots.data(subSlot(1)), concat({spEntry(71000), other}));

    // No earliest PTS known: times stay as they are.
    ScanRun unknown;
    unknown.selectAll();
    unknown.run(ps.bytes(), ScanMode::Demux);
    EXPECT_EQ(unknown.slots.data(subSlot(0)),
              concat({spEntry(90000), unit1a, unit1b, spEntry(9000), unit2}));

    // A time before the earliest PTS does not wrap round to 13 hours.
    ScanRun early;
    early.selectAll();
    early.state.minFirstPts = 85000;
    early.run(ps.bytes(), ScanMode::Demux);
    EXPECT_EQ(early.slots.data(subSlot(0)),
              concat({spEntry(5000), unit1a, unit1b, spEntry(0), unit2}));
}

TEST(DemuxOutput, ReadThenDemuxGivesRelativeSubpictureTimes) {
    PsBuilder ps;
    ps.pack(
        {Pes(0xBD).pts(50000).subHeader(audioSubHeader(0x80)).payload(pattern(100, 1)).packet()});
    ps.pack({subPes(0x22, 140000, pattern(60, 2))});
    const std::filesystem::path file = tempDir("relative") / "r.EVO";
    writeFile(file, ps.bytes());
    ScanRun scan;
    scan.options.details = false;
    scan.run(file, ScanMode::Read);
    ASSERT_EQ(scan.state.minFirstPts, 50000u);
    scan.selectAll();
    scan.run(file, ScanMode::Demux);
    EXPECT_EQ(scan.slots.data(subSlot(2)), concat({spEntry(90000), pattern(60, 2)}));
}

// A DVD-Audio LPCM header as discs carry it: continuity counter, the header length L, then L
// bytes (first access unit pointer, stereo flag, bit depths, rates, 0, channel assignment,
// 0x80, padding).
Bytes aobLpcmHeader(uint8_t counter, std::size_t length) {
    Bytes h = {0xA0, counter, 0x00, static_cast<uint8_t>(length), 0x00, 0x0A, 0x10, 0x0F, 0x8F,
               0x00, 0x01,    0x80};
    h.resize(4 + length, 0x00);
    return h;
}

// DVD-Audio packets say how long their private header is; the audio starts after it, and a
// header that runs past its packet loses that packet's payload only in a raw output. A .VOB keeps
// the DVD-Video form of 7 bytes.
TEST(DemuxOutput, DvdAudioPrivateHeadersAreTakenAtTheirLength) {
    const Bytes a1 = pattern(400, 1), a2 = pattern(404, 2), a3 = pattern(300, 3);
    const Bytes mlp = pattern(500, 4);
    Bytes damaged = aobLpcmHeader(3, 11);
    damaged[2] = 0x40;  // a length of 16 KiB in a packet of a few hundred bytes
    PsBuilder ps;
    ps.pack({Pes(0xBD).pts(900).subHeader(aobLpcmHeader(0, 11)).payload(a1).packet()});
    ps.pack(
        {Pes(0xBD).subHeader({0xA1, 0x00, 0x00, 0x06, 1, 2, 3, 4, 5, 6}).payload(mlp).packet()});
    ps.pack({Pes(0xBD).subHeader(aobLpcmHeader(1, 16)).payload(a2).packet()});
    ps.pack({Pes(0xBD).subHeader(damaged).payload(pattern(200, 9)).packet()});
    ps.pack({Pes(0xBD).subHeader(aobLpcmHeader(4, 11)).payload(a3).packet()});

    RecordingSink headerSink;
    for (std::size_t chunk : {std::size_t{5}, std::size_t{2048}}) {
        ScanRun aob;
        aob.options.chunkSize = chunk;
        aob.selectAll();
        aob.run(ps.bytes(), ScanMode::Demux, ".AOB");
        EXPECT_EQ(aob.slots.data(audioSlot(0)), concat({a1, a2, a3})) << chunk;
        EXPECT_EQ(aob.slots.data(audioSlot(1)), mlp) << chunk;
    }

    ScanRun headerRun;
    headerRun.options.checked.fill(true);
    headerRun.state.sinks[audioSlot(0)] = &headerSink;
    headerRun.run(ps.bytes(), ScanMode::Demux, ".AOB");
    headerRun.state.sinks.fill(nullptr);
    std::vector<Bytes> headers;  // of the packets, where each starts
    for (const HandedRun& run : headerSink.runs)
        if (run.packetStart) headers.push_back(run.privateHeader);
    ASSERT_EQ(headers.size(), 4u);
    EXPECT_TRUE(headers[2].empty());  // the damaged one, handed on for the time it holds
    const Bytes header = aobLpcmHeader(0, 11);
    EXPECT_EQ(headers[0], Bytes(header.begin() + 4, header.end()));
    EXPECT_EQ(headers[1].size(), 16u);

    // On a DVD-Video disc the same packet loses 7 bytes: the sub-stream header and 3 more.
    ScanRun vob;
    vob.selectAll();
    vob.run(ps.bytes(), ScanMode::Demux, ".VOB");
    const Bytes first = vob.slots.data(audioSlot(0));
    ASSERT_GE(first.size(), header.size() - 7);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 8), Bytes(header.begin() + 7, header.end()));
}

// An output that fails makes the scan fail with its error; what was written stays.
TEST(DemuxOutput, WriteErrorPropagates) {
    const Mixed m = mixedStream();
    ScanRun scan;
    scan.selectAll();
    scan.slots.failAfter = 3;
    struct CancelHost : RecordingHost {
        int enabled = 0;
        void setCancelEnabled(bool on) override { enabled += on ? 1 : -1; }
    } host;
    const std::filesystem::path file = tempDir("fail") / "f.EVO";
    writeFile(file, m.stream);
    InputFile input(file);
    scan.state.input = &input;
    scan.slots.attach(scan.state, InputKind::Evo);
    EXPECT_THROW(demux(scan.state, scan.options, host, ScanMode::Demux), IoError);
    EXPECT_EQ(host.enabled, 0);
    EXPECT_EQ(scan.slots.writes, 3);
}

}  // namespace
}  // namespace kavrel::test
