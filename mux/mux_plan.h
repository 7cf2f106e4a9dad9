#pragma once
// The plan of a Matroska file: which demuxed file becomes which track, in what order, with what
// language, name, default flag and start, and the mkvmerge options that say so.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "engine/disc_title.h"
#include "engine/stream_ids.h"

namespace kavrel::mux {

// One demuxed stream: the file of its slot and how far its start lies after the video's.
struct MuxInput {
    int slot = 0;
    std::filesystem::path file;
    int64_t syncMs = 0;
    int32_t key = -1;  // the stream's key (streamKey): the title's track of that key names it
};

struct MuxTrack {
    std::filesystem::path file;  // an elementary stream, WAV or PGS file with one track
    StreamKind kind = StreamKind::Video;
    std::string language;  // ISO 639-2; empty: none given
    std::string name;      // empty: none
    bool defaultTrack = false;
    int64_t syncMs = 0;
};

struct MuxPlan {
    std::filesystem::path output;
    std::string title;               // empty: none
    std::filesystem::path chapters;  // Matroska chapter XML; empty: none
    std::vector<MuxTrack> tracks;
};

// The tracks in disc order (video, audio by number, subpictures by number), each described by
// the title's track of its stream (the track of the stream's key) when the title names one. The
// first video and the first audio track are the default ones.
MuxPlan planMux(std::span<const MuxInput> inputs, const DiscTitle* title,
                const std::filesystem::path& output, const std::filesystem::path& chapters);

// The language and name of a playlist track: the language's ISO 639-2 code ("und" when it names
// none), and its description as the name, or the language's name where the description is only
// the language code.
void describeTrack(const TitleTrack& track, MuxTrack& into);

// mkvmerge's arguments for the plan (after the program name): progress lines for a front end,
// the output, title and chapters, then each file after its track's options. Each file holds one
// track, with the id 0.
std::vector<std::string> mkvmergeArguments(const MuxPlan& plan);

// The arguments as an mkvmerge option file (read with "@FILE"): a JSON array of strings.
std::string optionFile(std::span<const std::string> arguments);

}  // namespace kavrel::mux
