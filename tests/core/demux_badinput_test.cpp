// Damaged and hostile inputs: the scan always ends, reads nothing outside what it read, and
// keeps what it found and wrote before the damage.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

Bytes goodStream() {
    PsBuilder ps;
    for (int i = 0; i < 6; ++i) {
        ps.pack({systemHeader(2, 1), navigationPacket({.vobNumber = 5, .lastPtm = 900})});
        ps.pack({Pes(0xE0).pts(1).dts(2).payload(Bytes(1500, 0x41)).packet()});
        ps.pack(
            {Pes(0xFD).pts(1).pstd(true).streamIdExtension(0x56).payload(Bytes(800, 0x42)).packet(),
             Pes(0xBD).pts(3).subHeader(audioSubHeader(0xA0)).payload(Bytes(400, 0x43)).packet(),
             Pes(0xBD).pts(4).subHeader({0x20}).payload(Bytes(300, 0)).packet()});
    }
    return ps.bytes();
}

// Scans in both modes with several chunk sizes; the scan must simply end.
void scanAll(const Bytes& bytes, const std::string& extension = ".EVO") {
    for (ScanMode mode : {ScanMode::Read, ScanMode::Demux}) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{13}, std::size_t{2048}, kChunkSize}) {
            ScanRun scan;
            scan.options.chunkSize = chunk;
            scan.selectAll();
            scan.run(bytes, mode, extension);
        }
    }
}

TEST(DemuxBadInput, EmptyConstantAndRandomFilesEnd) {
    ScanRun empty;
    empty.run(Bytes{}, ScanMode::Read);
    EXPECT_TRUE(empty.host.lines.empty());
    EXPECT_EQ(empty.state.foundVideo[0], -1);

    scanAll(Bytes(70000, 0xFF));
    scanAll(Bytes(70000, 0x00));
    std::mt19937 random(11);
    for (int round = 0; round < 4; ++round) {
        Bytes bytes(50000);
        for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
        scanAll(bytes, round % 2 ? ".VOB" : ".AOB");
    }
}

TEST(DemuxBadInput, TruncatedAnywhereKeepsWhatCameBefore) {
    const Bytes good = goodStream();
    for (std::size_t cut = 1; cut < good.size(); cut += 97) {
        const Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        ScanRun scan;
        scan.options.chunkSize = 1024;
        scan.selectAll();
        scan.run(part, ScanMode::Demux);
        // Every byte before the cut that belongs to video 0 was written.
        const Bytes& video = scan.slots.data(videoSlot(0));
        EXPECT_LE(video.size(), 1500u * 6);
        for (uint8_t byte : video) ASSERT_EQ(byte, 0x41);
        if (cut > 2048 + 14 + 19 + 1500) {
            EXPECT_GE(video.size(), 1500u);
        }
    }
}

// Every single byte of a good stream damaged in turn, and random byte damage: no crash, no
// read outside the data (the sanitizer builds check that), and an end.
TEST(DemuxBadInput, DamagedBytesAndLengths) {
    const Bytes good = goodStream();
    const uint8_t values[] = {0x00, 0xFF, 0x01, 0x80};
    for (std::size_t at = 0; at < 2 * 2048; ++at) {
        Bytes bad = good;
        bad[at] = values[at % 4];
        ScanRun scan;
        scan.options.chunkSize = 2048;
        scan.selectAll();
        scan.run(bad, at % 3 ? ScanMode::Read : ScanMode::Demux);
    }
    std::mt19937 random(5);
    for (int round = 0; round < 30; ++round) {
        Bytes bad = good;
        for (int hits = 0; hits < 40; ++hits)
            bad[random() % bad.size()] = static_cast<uint8_t>(random());
        scanAll(bad, round % 3 == 0 ? ".VOB" : ".EVO");
    }
}

TEST(DemuxBadInput, HostilePacketFields) {
    // Lengths that end the packet inside its header, header lengths past the packet, a zero
    // length, and a length far past the end of the file.
    const Bytes cases[] = {
        Pes(0xE0).pts(1).payload(Bytes(10, 1)).length(2).packet(),
        Pes(0xE0).pts(1).payload(Bytes(10, 1)).length(5).packet(),
        Pes(0xBD).pts(1).subHeader(audioSubHeader(0xA0)).length(12).packet(),
        Pes(0xBD).pts(1).subHeader({0x20}).length(9).packet(),
        Pes(0xFD).pts(1).streamIdExtension(0x55).length(0).packet(),
        Pes(0xE0).payload(Bytes(10, 1)).length(0xFFFF).packet(),
        plainPacket(0xBF, Bytes{0x01}),
        Bytes{0x00, 0x00, 0x01, 0xE0, 0x00, 0x20, 0x81, 0xC1, 0xFF, 0x31},  // header past packet
        Bytes{0x00, 0x00, 0x01, 0xE0, 0x00, 0x08, 0x81, 0x81, 0x02, 0x0E, 0x40},  // pack field
        Bytes{0x00, 0x00, 0x01, 0xBD, 0x00, 0x04, 0x81, 0x00, 0x00, 0x80},
    };
    const Bytes after =
        Pes(0xBD).pts(77).subHeader(audioSubHeader(0x85)).payload(Bytes(20, 0x99)).packet();
    for (const Bytes& hostile : cases) {
        scanAll(hostile);
        ScanRun scan;
        scan.options.chunkSize = 16;
        scan.selectAll();
        const Bytes bytes = concat({hostile, hostile, after});
        scan.run(bytes, ScanMode::Demux);
        std::size_t written = 0;
        for (int slot = 0; slot < kSlotCount; ++slot) written += scan.slots.data(slot).size();
        EXPECT_LE(written, bytes.size());
    }
    // A header that ends the packet exactly leaves the following packet intact.
    ScanRun exact;
    exact.run(concat({Pes(0xE0).pts(5).length(8).packet(), after}), ScanMode::Read);
    EXPECT_TRUE(exact.host.hasLine("MPEG-2 video stream 0 found!"));
    EXPECT_TRUE(exact.host.hasLine("Dolby Digital audio stream 5 found!"));
}

TEST(DemuxBadInput, InputThatShrinksFailsAfterScanningWhatItHeld) {
    // The size was taken when the file was opened; a file that ends before it was cut short.
    const Bytes good = goodStream();
    const std::filesystem::path file = tempDir("shrink") / "s.EVO";
    writeFile(file, good);
    InputFile input(file);
    std::filesystem::resize_file(file, 3000);
    ScanRun scan;
    scan.state.input = &input;
    scan.options.chunkSize = 1024;
    EXPECT_THROW(demux(scan.state, scan.options, scan.host, ScanMode::Read), IoError);
    EXPECT_EQ(input.position(), 3000u);
    scan.state.input = nullptr;

    RunState none;
    EXPECT_THROW(demux(none, scan.options, scan.host, ScanMode::Read), IoError);
}

}  // namespace
}  // namespace kavrel::test
