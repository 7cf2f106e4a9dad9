// kavrel-cli titles: lists the titles of an HD DVD playlist with their clips, tracks and
// chapters, and marks the main feature.
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/audio_title_listing.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
#include "cli/standard_output.h"
#include "cli/title_listing.h"
#include "cli/video_title_listing.h"
#include "dvdaudio/audio_disc.h"
#include "dvdvideo/video_disc.h"
#include "engine/io.h"
#include "playlist/disc_layout.h"
#include "playlist/playlist.h"
#include "playlist/titles.h"

namespace kavrel::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCommand = "titles";

void print(const std::string& text) {
    writeOut(text);
    flushOut();
}

}  // namespace

int titlesCommand(int argc, char** argv) {
    CommandLine line(kCommand, "kavrel-cli titles [--json] PLAYLIST_OR_DISC_FOLDER",
                     "List the titles of an HD DVD playlist, a DVD-Video or a DVD-Audio disc.");
    line.app.footer(
        "Lists each title's number, name and duration, the clips it plays (the EVO files, their\n"
        "size and whether they are there), its video, audio and subtitle tracks with codec,\n"
        "channels, language and description, and its chapters; the longest title is marked as\n"
        "the main feature. A disc folder stands for its ADV_OBJ/VPLST000.XPL. A DVD-Video disc\n"
        "(a folder holding VIDEO_TS, the VIDEO_TS folder or an .iso image) is listed from its\n"
        "IFO files, with each title's title set, video, angles and subtitle palette.\n"
        "A DVD-Audio disc (a folder holding AUDIO_TS, or its ISO image) lists each title's\n"
        "tracks with duration, sample format and sectors.\n"
        "Exit codes: 0 done, 1 the playlist or disc cannot be read or holds no title, 2 the "
        "command\n"
        "line is wrong.");
    std::string source;
    bool json = false;
    line.app.add_flag("--json", json, "print one JSON document");
    line.app.add_option("PLAYLIST_OR_DISC_FOLDER", source, "VPLST000.XPL, or the disc's folder")
        ->required();
    if (int code = line.parse(argc, argv); code >= 0) return code;

    // A DVD-Audio disc: its title sets' titles and tracks.
    if (dvdaudio::looksLikeAudioDisc(source)) {
        const dvdaudio::AudioDisc disc = dvdaudio::readAudioDisc(source);
        print(json ? audioTitleListingJson(disc) : audioTitleListing(disc));
        if (!disc.error.empty()) return failure(kCommand, disc.error);
        return kExitDone;
    }

    fs::path playlistPath = source;
    std::error_code ec;
    const bool hdDvdFolder =
        fs::is_directory(playlistPath, ec) && fs::exists(playlist::discPlaylist(source), ec);
    if (!hdDvdFolder && dvdvideo::looksLikeVideoDisc(source)) {
        std::string problem;
        const auto disc = dvdvideo::readVideoDiscOrVobs(source, 1, problem);
        if (!disc) return failure(kCommand, problem);
        print(json ? videoTitleListingJson(*disc, source) : videoTitleListing(*disc, source));
        return kExitDone;
    }
    if (fs::is_directory(playlistPath, ec)) {
        playlistPath = playlist::discPlaylist(source);
        if (!fs::is_regular_file(playlistPath, ec))
            return failure(kCommand, "no ADV_OBJ/VPLST000.XPL in " + source);
    }
    playlist::TitleSet set;
    try {
        set = playlist::readTitleSet(playlist::loadPlaylistText(playlistPath),
                                     playlist::discFolderOf(playlistPath));
    } catch (const IoError& error) {
        return failure(kCommand, error.what());
    }
    print(json ? titleListingJson(set, playlistPath) : titleListing(set));
    if (set.titles.empty()) return failure(kCommand, "no title in " + playlistPath.string());
    return kExitDone;
}

}  // namespace kavrel::cli
