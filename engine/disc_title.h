#pragma once
// A title of a disc as the engine reads it: an ordered list of byte ranges of files (an EVO and
// its follow-on, the clips of an HD DVD playlist title, the cells of a DVD-Video program chain,
// the sectors of a DVD-Audio track), read one after the other as one input, with what the disc's
// own tables say about it: its tracks, chapters and palette.
//
// Where the ranges come from is not the engine's business: an HD DVD playlist, a DVD's IFO files
// (a VOB inside an ISO image is a range of the image file) or the follow-on rule of file names.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/stream_ids.h"

namespace kavrel {

// `length` bytes of `file` from `offset`. A range never ends inside a 2048-byte pack of a disc.
struct ByteRange {
    std::filesystem::path file;
    uint64_t offset = 0;
    uint64_t length = 0;

    bool operator==(const ByteRange&) const = default;
};

// A track the disc's tables name, tied to the stream that carries it by the stream's key
// (streamKey of its id space and id), the one rule for every front end and output.
struct TitleTrack {
    StreamKind kind = StreamKind::Video;
    int32_t key = -1;      // streamKey; -1 when the table names no stream id
    std::string language;  // ISO 639-1 ("en") or 639-2 ("eng") as the disc gives it; may be empty
    std::string description;  // free text the disc gives ("Director's comments")
    std::string codec;        // "AC-3", "LPCM", "VC-1" …, as the disc's table names it
    int channels = 0;         // audio; 0 when not given
};

struct TitleChapter {
    double seconds = 0;  // start from the title's start
    std::string name;    // empty: "Chapter NN" by its place
};

struct DiscTitle {
    int number = 0;                 // as the disc numbers it, from 1
    std::string name;               // may be empty
    double durationSeconds = 0;     // 0 when the tables give none
    std::vector<ByteRange> ranges;  // in play order
    std::vector<TitleTrack> tracks;
    std::vector<TitleChapter> chapters;
    // The 16 subpicture colours as 0xRRGGBB (DVD-Video: from the program chain's YCrCb palette).
    std::optional<std::array<uint32_t, 16>> palette;
    int width = 0;  // the video frame the tables give; 0 when unknown
    int height = 0;
    int angles = 1;
    bool mainFeature = false;

    // Every file the title reads, once each, in first-use order.
    std::vector<std::filesystem::path> files() const {
        std::vector<std::filesystem::path> out;
        for (const ByteRange& r : ranges) {
            bool seen = false;
            for (const auto& f : out) seen = seen || f == r.file;
            if (!seen) out.push_back(r.file);
        }
        return out;
    }
    uint64_t totalBytes() const {
        uint64_t n = 0;
        for (const ByteRange& r : ranges) n += r.length;
        return n;
    }
};

}  // namespace kavrel
