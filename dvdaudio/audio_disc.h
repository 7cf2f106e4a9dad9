#pragma once
// A DVD-Audio disc as Kavrel reads it: a folder that holds AUDIO_TS, the AUDIO_TS folder itself,
// or an ISO image of the disc. Each title set's track table (ATS_0N_0.IFO) is read and every
// track's sectors become byte ranges of the files that hold them (of ATS_0N_1.AOB …
// ATS_0N_9.AOB, or of the image); the audio manager (AUDIO_TS.IFO) gives each title's group.
#include <filesystem>
#include <string>
#include <vector>

#include "dvdaudio/track_table.h"
#include "engine/disc_title.h"

namespace kavrel::dvdaudio {

struct DiscTrack {
    AudioTrack track;
    std::vector<ByteRange> ranges;  // its sectors, in play order
};

struct DiscAudioTitle {
    int number = 0;    // on the disc, from 1: title set 1's titles, then title set 2's …
    int titleSet = 0;  // N of ATS_0N
    int numberInSet = 0;
    int group = 1;  // as the audio manager lists it
    uint32_t ticks = 0;
    std::vector<DiscTrack> tracks;

    double seconds() const { return static_cast<double>(ticks) / kTicksPerSecond; }
    // The title as the engine reads it: every track's ranges, one audio track, a chapter at
    // each track's start.
    DiscTitle discTitle() const;
};

// A title set whose track table is missing or cannot be used: its audio objects can only be
// read whole.
struct DamagedTitleSet {
    int number = 0;                  // N of ATS_0N
    std::string problem;             // "ATS_01_0.IFO is damaged: …", "ATS_01_0.IFO is missing"
    std::vector<ByteRange> objects;  // ATS_0N_1.AOB … whole, in order; may be none
};

struct AudioDisc {
    std::filesystem::path source;  // as given
    std::vector<DiscAudioTitle> titles;
    std::vector<DamagedTitleSet> damaged;  // their titles are not listed
    // Why no title can be listed: the disc cannot be read, or no title set's track table can
    // (then `damaged` says why for each). Empty while one title set is readable.
    std::string error;
};

// Whether the path is a DVD-Audio disc: a folder holding AUDIO_TS/ATS_01_0.IFO (or, without it,
// AUDIO_TS.IFO and ATS_01_1.AOB), that AUDIO_TS folder, or an ".iso" image that holds it.
bool looksLikeAudioDisc(const std::filesystem::path& path);

// Reads every title set's track table. A set whose table is missing, damaged or gives sectors
// past the end of its audio objects goes to `damaged` with the reason.
AudioDisc readAudioDisc(const std::filesystem::path& path);

// The byte ranges of sectors [first, last] of a title set's audio objects, whose sizes in bytes
// are given in order; empty when the sectors run past their end.
std::vector<ByteRange> sectorRanges(const std::vector<std::filesystem::path>& files,
                                    const std::vector<uint64_t>& offsets,
                                    const std::vector<uint64_t>& sizes, uint32_t first,
                                    uint32_t last);

}  // namespace kavrel::dvdaudio
