#pragma once
// The sample-disc generator: HD DVD, DVD-Video and DVD-Audio program streams with real pack,
// system and PES headers, navigation packs and real stream headers, for tests and the demo.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kavrel::mkdisc {

struct Options {
    uint64_t featureBytes = 6 * 1024 * 1024 + 3 * 2048;  // approximate size of each file
    uint64_t variantBytes = 2 * 1024 * 1024;             // the H.264 and MPEG-2 EVOs
    uint64_t vobBytes = 4 * 1024 * 1024;
    uint64_t aobBytes = 3 * 1024 * 1024;  // each of the three
    bool followOn = true;                 // write FEATURE_2.EVO after FEATURE_1.EVO
    bool expected = true;  // also write DIR/expected/: what a demux of each stream must give
    uint32_t seed = 1;
    int playlistTimeBase = 24;  // frames per second of the playlist's title times: 24 or 60
};

// One stream of one generated file, as a read of that file must announce it.
struct StreamEntry {
    std::string file;  // file name, e.g. "FEATURE_1.EVO"
    uint8_t id = 0;    // video: stream id (0xE0 …) or VC-1 extension (0x55); else sub-stream id
    std::string kind;  // "video", "audio" or "subpicture"
    int number = 0;    // the stream number a demux uses
    std::string caption;             // e.g. "VC-1.stream.0", "DD+.stream.00", "Ext.Subpicture.01"
    uint32_t firstPts = 0;           // PTS of the stream's first packet in the file (low 32 bits)
    uint64_t units = 0;              // video frames, audio frames or subpicture units in the file
    std::filesystem::path expected;  // what a demux of the stream writes (empty if not made)
};

struct Layout {
    std::filesystem::path feature1;     // DIR/HVDVD_TS/FEATURE_1.EVO
    std::filesystem::path feature2;     // DIR/HVDVD_TS/FEATURE_2.EVO
    std::filesystem::path playlist;     // DIR/ADV_OBJ/VPLST000.XPL
    std::filesystem::path vob;          // DIR/VIDEO_TS/VTS_01_1.VOB
    std::filesystem::path aob;          // DIR/AUDIO_TS/ATS_01_1.AOB: 16-bit stereo LPCM, MLP
    std::filesystem::path surroundAob;  // DIR/AUDIO_TS/ATS_02_1.AOB: 24-bit 5.1 LPCM, 2 groups
    std::filesystem::path mixedAob;     // DIR/AUDIO_TS/ATS_03_1.AOB: groups of 24/96 and 16/48
    std::filesystem::path h264Evo;      // DIR/HVDVD_TS/H264_1.EVO: H.264 on 0xE2, no follow-on
    std::filesystem::path mpeg2Evo;     // DIR/HVDVD_TS/MPEG2_1.EVO: MPEG-2 on 0xE0, no follow-on
    std::filesystem::path expectedDir;  // DIR/expected, with streams.txt (empty if not made)
    std::vector<StreamEntry> streams;   // every stream of every file, file by file
};

Layout writeSampleDisc(const std::filesystem::path& dir, const Options& options = {});

}  // namespace kavrel::mkdisc
