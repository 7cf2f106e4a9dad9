#pragma once
// The HD DVD playlist reader: re-indents VPLST000.XPL, cuts it to the title that plays the
// input, builds the summary tree and offers the tracks the title declares.
//
// The reader never touches a RunState: the tracks it lists are marked in its own tables, so the
// streams a read run found (and a rebuild filters on) stay as they were.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host.h"
#include "engine/run_state.h"  // videoSlot, audioSlot, subSlot, kMiB
#include "playlist/memo.h"

namespace kavrel::playlist {

// Larger files are refused: a disc's playlist is far smaller, and the memo of a large hostile
// file would not fit in memory.
inline constexpr uint64_t kMaxPlaylistBytes = 4 * kMiB;

struct TreeNode {
    std::string text;                   // "Info", "Video", "Audio", "Subtitle", "Chapter"
    std::vector<std::string> children;  // "Title: …", "DD+.6ch.stream.02.en", "00:00:00:00: …"
};

// A track the title declares, offered as a stream check box: enabled, checked, captioned.
struct TrackOffer {
    int slot;           // videoSlot(0), audioSlot(n - 1), subSlot(n - 1)
    std::string label;  // the box caption
    int32_t key = -1;   // the stream that carries the track (trackKey); -1: its codec names none
};

struct Playlist {
    Memo memo;                          // re-indented lines, cut to the title when one was found
    bool titleFound = false;            // a title plays the input: the tree was built
    std::vector<TreeNode> tree;         // the five top-level nodes when titleFound, else empty
    std::vector<TrackOffer> offers;     // in the order the title lists them, each slot once
    std::vector<std::string> messages;  // "… found!" lines, in order
    std::string playlistTitle;          // "displayName" of the Playlist element
    bool endedInsideTag = false;        // the data ended inside a tag (a truncated file)
};

// The whole text of a playlist file. Throws IoError when it cannot be read or is larger than
// kMaxPlaylistBytes.
std::string loadPlaylistText(const std::filesystem::path& path);

// The name a title is looked up by: the input's own file name without extension (FEATURE_1 for
// .../HVDVD_TS/FEATURE_1.EVO), also after a read run that went on to FEATURE_2 and named its
// outputs FEATURE_1_FEATURE_2, a name no clip of the playlist carries.
std::string titleLookupName(const std::filesystem::path& input);

// Scans the playlist's bytes. baseName is the input's own file name without extension
// (FEATURE_1 for FEATURE_1.EVO); empty for no cut and no tree.
Playlist scanPlaylist(std::string_view bytes, std::string_view baseName);

// The Read XPL run: "Open …", "Filesize: …", progress in status panel 1, the scan, the
// "… found!" lines, "Done." and an empty line; status "Ready" and "". Returns nullopt (after
// logging why in red, and giving it in *error when asked) when the file cannot be opened or
// read, or is far too large for a playlist.
std::optional<Playlist> readPlaylist(const std::filesystem::path& path, std::string_view baseName,
                                     EngineHost& host, std::string* error = nullptr);

}  // namespace kavrel::playlist
