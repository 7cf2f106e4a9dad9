#pragma once
// The readers that find the titles of a disc: each takes a path (a disc folder, a playlist, an
// image) and gives the disc's titles, or nullopt when the path is not a disc of its kind. A new
// kind of disc is one more entry in the list.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/disc_title.h"

namespace kavrel::session {

using DiscTitles = std::vector<DiscTitle>;

// How the user asked for a disc's titles to be read.
struct ReadChoice {
    int angle = 1;     // the angle (from 1) a title with several plays
    bool cont = true;  // an HD DVD title goes on past its first EVO file
};

// problems: lines on what the reader left out of a disc it takes (a title with damaged tables),
// or how it read a disc it could not read as a player does.
using DiscReader = std::function<std::optional<DiscTitles>(
    const std::filesystem::path&, const ReadChoice&, std::vector<std::string>& problems)>;

// The readers, asked in turn: HD DVD playlists (a disc folder or VPLST000.XPL), DVD-Video discs
// (a folder holding VIDEO_TS, the VIDEO_TS folder, an .iso image; when its IFO files cannot be
// read, each title set's VOB files as they are, with a line that says so).
const std::vector<DiscReader>& discReaders();

// The titles of the disc at path by the first reader that takes it; nullopt when none does.
// Throws IoError when a reader takes the path but cannot read it.
std::optional<DiscTitles> readDisc(const std::filesystem::path& path,
                                   std::vector<std::string>& problems,
                                   const ReadChoice& choice = {});

// The title with this number, or the main feature (else the first title) when number is none.
// nullptr when there is no such title.
const DiscTitle* chooseTitle(const DiscTitles& titles, std::optional<int> number);

}  // namespace kavrel::session
