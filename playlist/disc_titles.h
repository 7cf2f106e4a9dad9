#pragma once
// The titles of an HD DVD disc as the runs read them: each title of the playlist as a DiscTitle
// of its clips' EVO files, with its tracks tied to streams by key, and its chapters.
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/disc_title.h"
#include "playlist/titles.h"

namespace kavrel::playlist {

DiscTitle discTitleOf(const TitleSet& set, const Title& title);

// The titles of the disc whose folder (or whose ADV_OBJ/VPLST000.XPL) path names; nullopt when
// path is neither. Throws IoError when the playlist cannot be read.
std::optional<std::vector<DiscTitle>> hdDvdTitles(const std::filesystem::path& path);

}  // namespace kavrel::playlist
