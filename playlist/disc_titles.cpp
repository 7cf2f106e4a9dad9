#include "playlist/disc_titles.h"

#include <system_error>

#include "engine/names.h"
#include "engine/title_files.h"
#include "playlist/disc_layout.h"
#include "playlist/playlist.h"

namespace kavrel::playlist {

namespace fs = std::filesystem;

namespace {

StreamKind streamKind(TrackKind kind) {
    switch (kind) {
        case TrackKind::Video:
            return StreamKind::Video;
        case TrackKind::Audio:
            return StreamKind::Audio;
        case TrackKind::Subtitle:
            break;
    }
    return StreamKind::Subpicture;
}

}  // namespace

DiscTitle discTitleOf(const TitleSet& set, const Title& title) {
    std::vector<fs::path> files;
    for (const Clip& clip : title.clips)
        if (!clip.file.empty()) files.push_back(clip.file);
    DiscTitle disc = titleOfFiles(files);
    disc.number = title.number;
    disc.name = title.name;
    disc.mainFeature = title.mainFeature;
    if (title.duration) disc.durationSeconds = set.seconds(*title.duration);
    for (const Track& track : title.tracks) {
        int channels = 0;
        for (char c : track.channels)
            channels = c >= '0' && c <= '9' ? channels * 10 + (c - '0') : 0;
        disc.tracks.push_back(TitleTrack{streamKind(track.kind), track.key, track.language,
                                         track.description, track.codec, channels});
    }
    for (const Chapter& chapter : title.chapters)
        if (chapter.begin) disc.chapters.push_back({set.seconds(*chapter.begin), chapter.name});
    return disc;
}

std::optional<std::vector<DiscTitle>> hdDvdTitles(const fs::path& path) {
    std::error_code error;
    fs::path playlist;
    if (fs::is_directory(path, error)) {
        playlist = discPlaylist(path);
        if (!fs::is_regular_file(playlist, error)) return std::nullopt;
    } else if (upperExtension(path) == ".XPL") {
        playlist = path;
    } else {
        return std::nullopt;
    }
    const TitleSet set = readTitleSet(loadPlaylistText(playlist), discFolderOf(playlist));
    std::vector<DiscTitle> titles;
    for (const Title& title : set.titles) titles.push_back(discTitleOf(set, title));
    return titles;
}

}  // namespace kavrel::playlist
