#pragma once
// The sample-disc generator: HD DVD, DVD-Video and DVD-Audio program streams with real pack,
// system and PES headers, navigation packs and real stream headers, for tests and the demo.
#include <cstdint>
#include <filesystem>

namespace kavrel::mkdisc {

struct Options {
    uint64_t featureBytes = 6 * 1024 * 1024 + 3 * 2048;  // approximate size of each file
    bool expected = true;  // also write DIR/expected/: what a demux of each stream must give
    uint32_t seed = 1;
};

struct Layout {
    std::filesystem::path feature1;  // DIR/HVDVD_TS/FEATURE_1.EVO
    std::filesystem::path feature2;  // DIR/HVDVD_TS/FEATURE_2.EVO
    std::filesystem::path playlist;  // DIR/ADV_OBJ/VPLST000.XPL
    std::filesystem::path vob;       // DIR/VIDEO_TS/VTS_01_1.VOB
    std::filesystem::path aob;       // DIR/AUDIO_TS/ATS_01_1.AOB
};

Layout writeSampleDisc(const std::filesystem::path& dir, const Options& options = {});

}  // namespace kavrel::mkdisc
