#pragma once
// One step from a disc's feature to a Matroska file: the title that plays the input and its
// further clips, a demux of the chosen streams into a temporary folder beside the output (LPCM
// as WAV, subpictures as PGS), the title's chapters, and mkvmerge, whose file takes the
// output's name only once it is whole.
#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/runs.h"
#include "playlist/titles.h"

namespace kavrel::mux {

// What the disc's playlist says about an input: the title that plays it and the clips that
// follow the input's in that title.
struct FeatureSource {
    std::optional<playlist::TitleSet> titles;     // nullopt: no playlist was read
    std::optional<std::size_t> playing;           // the title that plays the input
    std::vector<std::filesystem::path> followOn;  // the title's clips after the input's
    std::filesystem::path playlist;

    const playlist::Title* title() const {
        return titles && playing ? &titles->titles[*playing] : nullptr;
    }
};

// Reads the playlist (none when empty) and finds the title that plays the input, logging which
// one, or why there is none. With cont, the title's clips after the input's clip are the files
// the runs go on to. Returns nullopt, after logging the error, when one of those clips is not
// on the disc: a Matroska file of part of a title must be asked for (without cont); error then
// says why.
std::optional<FeatureSource> findFeature(const std::filesystem::path& input,
                                         const std::filesystem::path& playlist, bool cont,
                                         EngineHost& host, std::string& error);

// The title an mkv run reads: the input and the title's clips after it, with the title's name
// and tracks, when a title plays the input; else the input and, with cont, its follow-on file.
DiscTitle featureTitle(const std::filesystem::path& input, const FeatureSource& source, bool cont);

struct MkvJob {
    DiscTitle title;               // the files read, and the tracks that name the streams
    std::filesystem::path output;  // the Matroska file
    FeatureSource source;          // the playlist, for the chapters
    bool keep = false;             // keep the intermediate files
};

// Makes the Matroska file, after a read run of the title: demuxes the streams checked in
// options (with captions as the read run offered them) and muxes the files the demux names with
// mkvmerge. The output may be none of the files read. Logs as the other runs do, "Done." only
// once the file is whole; a failure or a stop leaves no output file and no work folder.
RunResult mkvRun(const MkvJob& job, RunState& state, const RunOptions& options,
                 const std::array<std::string, kSlotCount>& captions, EngineHost& host);

// The Matroska file a window run writes: <output folder>/<base name>.mkv.
std::filesystem::path mkvOutputPath(const DiscTitle& title, const RunOptions& options);

}  // namespace kavrel::mux
