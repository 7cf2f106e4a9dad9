#pragma once
// A read disc as bytes and back, to hand it from the process that read the IFO files to the
// one that asked (see readVideoDisc).
#include <optional>
#include <string>
#include <string_view>

#include "dvdvideo/video_disc.h"

namespace kavrel::dvdvideo {

std::string encodeDisc(const std::optional<VideoDisc>& disc, const std::string& problem);

// False when the bytes are not a whole encoded disc.
bool decodeDisc(std::string_view bytes, std::optional<VideoDisc>& disc, std::string& problem);

}  // namespace kavrel::dvdvideo
