#pragma once
// The language and description a disc's playlist gives the streams a run found: the tracks of
// the title that plays the input, matched by kind and stream number.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/stream_table.h"

namespace kavrel::cli {

struct TrackNames {
    std::optional<std::string> language;  // "en"
    std::optional<std::string> description;
};

// One entry per stream of the table, in its order; nullopt when no playlist lies beside the
// input (ADV_OBJ/VPLST000.XPL of its disc), it cannot be read, or no title of it plays the input.
std::optional<std::vector<TrackNames>> playlistNames(const std::filesystem::path& input,
                                                     const StreamTable& streams);

}  // namespace kavrel::cli
