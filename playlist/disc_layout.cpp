#include "playlist/disc_layout.h"

#include <string>

#include "playlist/tag_text.h"

namespace kavrel::playlist {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDiscScheme = "file:///dvddisc/";

// The entry of folder whose name equals name without regard to case, or name itself.
fs::path spelledOnDisk(const fs::path& folder, const fs::path& name) {
    std::error_code ec;
    if (fs::exists(folder / name, ec)) return name;
    const std::string wanted = name.string();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path entry = it->path().filename();
        if (equalsIgnoreCase(entry.string(), wanted)) return entry;
    }
    return name;
}

}  // namespace

fs::path discFolderOf(const fs::path& playlist) {
    fs::path folder = playlist.parent_path();
    if (equalsIgnoreCase(folder.filename().string(), "ADV_OBJ")) return folder.parent_path();
    return folder;
}

fs::path findOnDisc(const fs::path& folder, const fs::path& relative) {
    fs::path path = folder;
    for (const fs::path& part : relative) path /= spelledOnDisk(path, part);
    return path;
}

fs::path discPlaylist(const fs::path& discFolder) {
    return findOnDisc(discFolder, fs::path("ADV_OBJ") / "VPLST000.XPL");
}

fs::path playlistBeside(const fs::path& input) {
    fs::path folder = input.parent_path();
    if (!equalsIgnoreCase(folder.filename().string(), "HVDVD_TS")) return {};
    fs::path playlist = discPlaylist(folder.parent_path());
    std::error_code ec;
    return fs::is_regular_file(playlist, ec) ? playlist : fs::path();
}

std::optional<fs::path> clipFile(std::string_view src) {
    if (src.size() <= kDiscScheme.size() ||
        !equalsIgnoreCase(src.substr(0, kDiscScheme.size()), kDiscScheme))
        return std::nullopt;
    fs::path relative;
    std::string_view rest = src.substr(kDiscScheme.size());
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty()) continue;
        if (part == "." || part == "..") return std::nullopt;
        relative /= std::string(part);
    }
    std::string name = relative.filename().string();
    if (name.size() <= 4 ||
        !equalsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".MAP"))
        return std::nullopt;
    // The EVO takes the .MAP's name; its extension follows the case of the one it replaces.
    name.replace(name.size() - 3, 3, name[name.size() - 3] == 'm' ? "evo" : "EVO");
    relative.replace_filename(name);
    return relative;
}

}  // namespace kavrel::playlist
