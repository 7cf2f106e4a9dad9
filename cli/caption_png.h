#pragma once
// A caption as a PNG picture: the bitmap in its palette's colours, transparent where the
// palette says so.
#include <cstddef>
#include <filesystem>
#include <string>

#include "formats/subpicture.h"

namespace kavrel::cli {

// "0001_0-00-02.500_0-00-04.200.png": the caption's number, start and end (h-mm-ss.zzz); the
// end is left out when the caption has none.
std::string captionPngName(std::size_t number, const formats::Caption& caption);

// Writes the picture as every output is written (a link at the name is not followed, the file
// is locked). Throws IoError when it cannot be written whole; a partial file is removed.
void writeCaptionPng(const formats::Caption& caption, const std::filesystem::path& path);

}  // namespace kavrel::cli
