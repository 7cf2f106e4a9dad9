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
// problems: lines on what the reader left out of a disc it takes (a title with damaged tables).
using DiscReader = std::function<std::optional<DiscTitles>(const std::filesystem::path&,
                                                           std::vector<std::string>& problems)>;

// The readers, asked in turn: HD DVD playlists (a disc folder or VPLST000.XPL), DVD-Video discs
// (a folder holding VIDEO_TS, the VIDEO_TS folder, an .iso image).
const std::vector<DiscReader>& discReaders();

// The titles of the disc at path by the first reader that takes it; nullopt when none does.
// Throws IoError when a reader takes the path but cannot read it.
std::optional<DiscTitles> readDisc(const std::filesystem::path& path,
                                   std::vector<std::string>& problems);

// The title with this number, or the main feature (else the first title) when number is none.
// nullptr when there is no such title.
const DiscTitle* chooseTitle(const DiscTitles& titles, std::optional<int> number);

}  // namespace kavrel::session
