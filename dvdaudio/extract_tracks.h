#pragma once
// Writes the tracks of a DVD-Audio disc one file each. A title's audio runs on from track to
// track, and a track's first samples often lie in the last sector of the track before it: each
// title is therefore read as one stream from its first sector, and a track is the run of sample
// frames its length gives (length × rate / 90000), from the sum of the lengths before it. An MLP
// track is the stream bytes of its own sectors.
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "dvdaudio/audio_disc.h"
#include "dvdaudio/track_files.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/runs.h"

namespace kavrel::dvdaudio {

struct TrackChoice {
    int title = 0;  // the disc's title number
    int track = 0;  // within the title
    auto operator<=>(const TrackChoice&) const = default;
};

struct ExtractOptions {
    std::filesystem::path folder;  // where the files go
    TrackFileFormat format = TrackFileFormat::Wav;
    std::set<TrackChoice> tracks;  // empty: every track of the disc
};

// The file name of a track, without extension: "Title01-Track03".
std::string trackFileStem(int title, int track);

// Writes the chosen tracks, in disc order, logging "Creating …" per file and closing with
// "Done." (or "Cancelled." when state.stopFlag was set: the track being written is removed,
// the finished ones stay). With no track chosen (the whole disc), the audio objects of each
// title set whose track table is damaged follow, demuxed whole as a plain demux writes them
// (LPCM as WAV), after a line that says why. Errors are logged and returned.
RunResult extractTracks(const AudioDisc& disc, const ExtractOptions& options, RunState& state,
                        EngineHost& host);

}  // namespace kavrel::dvdaudio
