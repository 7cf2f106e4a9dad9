#pragma once
// The titles of a playlist as kavrel-cli prints them: one block of lines per title, or one
// JSON document.
#include <filesystem>
#include <string>

#include "playlist/titles.h"

namespace kavrel::cli {

// Plain lines: the playlist's name and time base, then per title its number, name, duration
// and "main feature" mark, its clips, tracks and chapters indented below it; the problems last.
std::string titleListing(const playlist::TitleSet& set);

// The same as one JSON document (with the playlist's path and the outcome).
std::string titleListingJson(const playlist::TitleSet& set, const std::filesystem::path& playlist);

}  // namespace kavrel::cli
