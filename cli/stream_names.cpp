#include "cli/stream_names.h"

#include "engine/io.h"
#include "playlist/disc_layout.h"
#include "playlist/playlist.h"
#include "playlist/titles.h"

namespace kavrel::cli {

namespace {

playlist::TrackKind trackKind(StreamKind kind) {
    switch (kind) {
        case StreamKind::Video:
            return playlist::TrackKind::Video;
        case StreamKind::Audio:
            return playlist::TrackKind::Audio;
        case StreamKind::Subpicture:
            break;
    }
    return playlist::TrackKind::Subtitle;
}

std::optional<std::string> unlessEmpty(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

}  // namespace

std::optional<std::vector<TrackNames>> playlistNames(const std::filesystem::path& input,
                                                     const StreamTable& streams) {
    const std::filesystem::path playlistPath = playlist::playlistBeside(input);
    if (playlistPath.empty()) return std::nullopt;
    playlist::TitleSet set;
    try {
        set = playlist::readTitleSet(playlist::loadPlaylistText(playlistPath),
                                     playlist::discFolderOf(playlistPath),
                                     playlist::titleLookupName(input));
    } catch (const IoError&) {
        return std::nullopt;
    }
    if (!set.playing) return std::nullopt;
    const playlist::Title& title = set.titles[*set.playing];
    std::vector<TrackNames> names(streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const StreamInfo& stream = streams[static_cast<int>(i)];
        // The playlist counts a disc's streams from 1 by their ids, as the ids number them.
        for (const playlist::Track& track : title.tracks) {
            if (track.kind != trackKind(stream.kind) || track.streamNumber != stream.ownNumber + 1)
                continue;
            names[i] = {unlessEmpty(track.language), unlessEmpty(track.description)};
            break;
        }
    }
    return names;
}

}  // namespace kavrel::cli
