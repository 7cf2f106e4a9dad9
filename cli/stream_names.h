#pragma once
// The language and description a disc gives the streams a run found: the tracks of the title
// read (for a file, of the playlist's title that plays it), matched by stream key.
#include <optional>
#include <string>
#include <vector>

#include "engine/stream_table.h"
#include "session/session.h"

namespace kavrel::cli {

struct TrackNames {
    std::optional<std::string> language;  // "en"
    std::optional<std::string> description;
};

// One entry per stream of the table, in its order; nullopt when the title names no track (no
// playlist beside a file, one that cannot be read, or no title of it plays the file).
std::optional<std::vector<TrackNames>> titleNames(const session::Session& session,
                                                  const StreamTable& streams);

}  // namespace kavrel::cli
