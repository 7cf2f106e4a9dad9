#include "cli/stream_names.h"

namespace kavrel::cli {

namespace {

std::optional<std::string> unlessEmpty(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

}  // namespace

std::optional<std::vector<TrackNames>> titleNames(const session::Session& session,
                                                  const StreamTable& streams) {
    if (!session.hasTitleTracks()) return std::nullopt;
    std::vector<TrackNames> names(streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        if (const TitleTrack* track = session.trackOf(streams[static_cast<int>(i)]))
            names[i] = {unlessEmpty(track->language), unlessEmpty(track->description)};
    }
    return names;
}

}  // namespace kavrel::cli
