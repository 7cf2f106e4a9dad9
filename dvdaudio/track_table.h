#pragma once
// The track table of a DVD-Audio title set, read from its ATS_0N_0.IFO: the titles, their tracks
// with length and sample format, and the sectors each track takes in the title set's audio
// objects (counted from sector 0 of ATS_0N_1.AOB, running on across ATS_0N_2.AOB …).
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kavrel::dvdaudio {

inline constexpr uint32_t kTicksPerSecond = 90000;

// A track's samples as the title set's format table gives them.
struct TrackFormat {
    std::array<int, 2> bits{};             // per channel group: 16, 20 or 24; group 2: 0 if none
    std::array<uint32_t, 2> sampleRate{};  // per channel group; group 2: 0 if none
    int assignment = 0;                    // channel assignment, 0-20

    int channels() const;  // of both groups; 0 for an assignment outside the table
    // The speakers of each group, "L R" and "C LFE Ls Rs"; group 2's empty when it has none.
    std::array<std::string, 2> channelNames() const;
};

struct AudioTrack {
    int number = 0;      // within its title, from 1
    uint32_t ticks = 0;  // length in 90 kHz ticks
    TrackFormat format;
    uint32_t firstSector = 0;
    uint32_t lastSector = 0;  // inclusive

    double seconds() const { return static_cast<double>(ticks) / kTicksPerSecond; }
    // The sample frames the track holds at a rate: length × rate / 90000.
    uint64_t frames(uint32_t rate) const { return uint64_t{ticks} * rate / kTicksPerSecond; }
};

struct AudioTitle {
    int number = 0;      // within its title set, from 1
    uint32_t ticks = 0;  // length in 90 kHz ticks
    std::vector<AudioTrack> tracks;

    double seconds() const { return static_cast<double>(ticks) / kTicksPerSecond; }
};

struct TrackTable {
    std::vector<AudioTitle> titles;
    std::string error;  // why the table cannot be read; then titles is empty
};

// Reads the table from the IFO's bytes. A truncated or damaged table, a title without tracks,
// or a track whose sectors run backwards gives the reason in `error`; nothing outside `ifo` is
// read.
TrackTable readTrackTable(std::span<const uint8_t> ifo);

}  // namespace kavrel::dvdaudio
