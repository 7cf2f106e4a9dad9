#include <string>
#include <vector>

#include "engine/io.h"
#include "engine/markup.h"
#include "engine/names.h"
#include "playlist/playlist.h"

namespace kavrel::playlist {

namespace {

void endStatus(EngineHost& host) {
    host.slog("Ready", 0);
    host.slog("", 1);
}

std::optional<Playlist> fail(EngineHost& host, const std::string& message, std::string* error) {
    if (error) *error = message;
    host.log("[re]" + markupLiteral(message) + "[/re]");
    host.log("");
    endStatus(host);
    return std::nullopt;
}

std::string tooLarge() {
    return "This is not a playlist: it is larger than " + std::to_string(kMaxPlaylistBytes / kMiB) +
           " MB.";
}

}  // namespace

std::string loadPlaylistText(const std::filesystem::path& path) {
    InputFile input(path);
    if (input.size() > kMaxPlaylistBytes) throw IoError(tooLarge());
    std::string text;
    std::vector<uint8_t> chunk(kChunkSize);
    while (std::size_t got = input.read(chunk.data(), chunk.size())) {
        text.append(reinterpret_cast<const char*>(chunk.data()), got);
        if (text.size() > kMaxPlaylistBytes) throw IoError(tooLarge());  // it grew meanwhile
    }
    return text;
}

std::string titleLookupName(const std::filesystem::path& input) {
    return CutExt(input.filename().string());
}

std::optional<Playlist> readPlaylist(const std::filesystem::path& path, std::string_view baseName,
                                     EngineHost& host, std::string* error) {
    std::string text;
    try {
        InputFile input(path);
        host.log("Open " + markupLiteral(path.filename().string()));
        host.log("Filesize: " + std::to_string(input.size()) + " bytes");
        if (input.size() > kMaxPlaylistBytes) {
            return fail(host, tooLarge(), error);
        }
        const std::string size = std::to_string(input.size());
        std::vector<uint8_t> chunk(kChunkSize);
        while (text.size() <= kMaxPlaylistBytes) {
            std::size_t got = input.read(chunk.data(), chunk.size());
            if (got == 0) break;
            text.append(reinterpret_cast<const char*>(chunk.data()), got);
            host.slog(std::to_string(input.position()) + "/" + size + " bytes", 1);
        }
    } catch (const IoError& failure) {
        return fail(host, failure.what(), error);
    }
    if (text.size() > kMaxPlaylistBytes) {  // the file grew while it was read
        return fail(host, tooLarge(), error);
    }

    Playlist playlist = scanPlaylist(text, baseName);
    if (playlist.endedInsideTag)
        host.log("[re]The playlist ends inside a tag: the file is cut short.[/re]");
    // The "… found!" lines carry the playlist's own text.
    for (const std::string& message : playlist.messages) host.log(markupLiteral(message));
    if (!baseName.empty() && !playlist.titleFound)
        host.log("No title of the playlist plays " + markupLiteral(baseName) + ".");
    host.log("Done.");
    host.log("");
    endStatus(host);
    return playlist;
}

}  // namespace kavrel::playlist
