#pragma once
// The titles of an HD DVD playlist (VPLST000.XPL) as data: each Title of the TitleSet with its
// clips, tracks and chapters, the title set's time base, and which title is the main feature.
// Read from the same one-line-per-tag scan as the playlist memo. A damaged playlist gives what
// it can, and one problem line per fault.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stream_ids.h"
#include "playlist/title_time.h"

namespace kavrel::playlist {

// A PrimaryAudioVideoClip: the .MAP file the playlist names, and the EVO that carries it.
struct Clip {
    std::string src;               // as written: "file:///dvddisc/HVDVD_TS/FEATURE_1.MAP"
    std::filesystem::path file;    // the EVO beside it on the disc; empty when src names none
    bool exists = false;           // file is a regular file
    uint64_t size = 0;             // its size in bytes when it exists
    std::string beginText;         // titleTimeBegin, as written
    std::string endText;           // titleTimeEnd
    std::optional<int64_t> begin;  // in frames of the time base; nullopt when absent or damaged
    std::optional<int64_t> end;
};

enum class TrackKind { Video, Audio, Subtitle };

struct Track {
    TrackKind kind = TrackKind::Video;
    int track = 0;         // "track"
    int streamNumber = 0;  // "streamNumber"; for video the track number
    int mediaAttr = 0;     // item of the MediaAttributeList
    std::string codec;     // from that item: "VC-1", "DD+", "2bitRLE" …
    std::string channels;  // audio: the item's "channels" ("6"); empty when not given
    std::string language;  // "en" from langcode "en:00", else a description that is a code
    std::string description;
    // The key (streamKey) of the stream that carries the track, from its codec and stream
    // number: the one rule by which every output names a stream after the track. -1 when the
    // codec names no stream family.
    int32_t key = -1;
};

// The key of the stream a playlist track of this kind, codec and number (1-16) is carried by;
// -1 when the codec names no stream family or the number lies outside it.
int32_t trackKey(TrackKind kind, std::string_view codec, int streamNumber);

struct Chapter {
    std::string name;              // displayName
    std::string beginText;         // titleTimeBegin, as written
    std::optional<int64_t> begin;  // in frames; nullopt when absent or damaged
};

struct Title {
    int number = 0;  // titleNumber; its place in the title set when absent
    std::string id;
    std::string name;                 // displayName
    std::string durationText;         // titleDuration, as written
    std::optional<int64_t> duration;  // in frames
    std::vector<Clip> clips;          // in playing order
    std::vector<Track> tracks;        // each stream once, in the order the title names them
    std::vector<Chapter> chapters;
    bool mainFeature = false;  // the longest title
};

struct TitleSet {
    std::string playlistTitle;  // displayName of the Playlist element
    std::string timeBase;       // as written; empty when absent
    int framesPerSecond = kDefaultFramesPerSecond;
    std::vector<Title> titles;
    std::vector<std::string> problems;  // one line per fault found
    // The title that plays the input named when the set was read, found as the playlist
    // reader finds it; nullopt when none does (or no input was named).
    std::optional<std::size_t> playing;

    double seconds(int64_t frames) const { return static_cast<double>(frames) / framesPerSecond; }
};

// Reads the title set from a playlist's text. discFolder is the folder that holds HVDVD_TS
// (clips are looked up there; empty: no lookup). inputName is the input's own file name without
// extension (FEATURE_1), or empty.
TitleSet readTitleSet(std::string_view text, const std::filesystem::path& discFolder,
                      std::string_view inputName = {});

}  // namespace kavrel::playlist
