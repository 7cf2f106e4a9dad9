#pragma once
// Where the files of an HD DVD disc copy lie: the playlist in ADV_OBJ, the EVOs in HVDVD_TS
// beside it. Copies made on other systems are sometimes lower-cased, so names are matched
// without regard to case when the exact spelling is not on disk.
#include <filesystem>
#include <optional>
#include <string_view>

namespace kavrel::playlist {

// The disc folder of a playlist: the folder above ADV_OBJ, or the playlist's own folder when
// it does not lie in one.
std::filesystem::path discFolderOf(const std::filesystem::path& playlist);

// folder / relative, each part spelled as it is on disk when only its case differs; the plain
// join when a part is not there.
std::filesystem::path findOnDisc(const std::filesystem::path& folder,
                                 const std::filesystem::path& relative);

// The playlist of a disc folder: ADV_OBJ/VPLST000.XPL under it, as spelled on disk.
std::filesystem::path discPlaylist(const std::filesystem::path& discFolder);

// The playlist of the disc an input belongs to, when the input lies in a disc's HVDVD_TS
// folder and the playlist exists; else an empty path.
std::filesystem::path playlistBeside(const std::filesystem::path& input);

// The EVO that carries a clip, relative to the disc folder: "file:///dvddisc/HVDVD_TS/
// FEATURE_1.MAP" is HVDVD_TS/FEATURE_1.EVO. nullopt for a src that names no .MAP file of the
// disc, or that would lead out of the disc folder (".."). Looks at no file.
std::optional<std::filesystem::path> clipFile(std::string_view src);

}  // namespace kavrel::playlist
