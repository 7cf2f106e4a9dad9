#pragma once
// The titles of a DVD-Video disc as kavrel-cli prints them, in the layout of a playlist's
// listing: one block of lines per title, or one JSON document of the same shape, with what a
// DVD title adds (title set, video, angles, palette).
#include <filesystem>
#include <string>

#include "dvdvideo/video_disc.h"

namespace kavrel::cli {

std::string videoTitleListing(const dvdvideo::VideoDisc& disc, const std::filesystem::path& path);

std::string videoTitleListingJson(const dvdvideo::VideoDisc& disc,
                                  const std::filesystem::path& path);

}  // namespace kavrel::cli
