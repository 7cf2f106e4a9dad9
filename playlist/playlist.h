#pragma once
// The HD DVD playlist reader: re-indents VPLST000.XPL, cuts it to the title that plays the
// input, builds the summary tree and offers the tracks the title declares.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/host.h"
#include "engine/run_state.h"

namespace kavrel::playlist {

struct TreeNode {
    std::string text;                   // "Info", "Video", "Audio", "Subtitle", "Chapter"
    std::vector<std::string> children;  // "Title: …", "DD+.6ch.stream.02.en", "00:00:00:00: …"
};

struct TrackOffer {
    int slot;           // videoSlot(0), audioSlot(n - 1), subSlot(n - 1)
    std::string label;  // the box caption
};

struct Playlist {
    std::vector<std::string> memo;  // re-indented lines, cut to the title when one was found
    bool titleFound = false;        // the tree was rebuilt
    std::vector<TreeNode> tree;     // the five top-level nodes when titleFound
    std::vector<TrackOffer> offers;
    std::vector<std::string> messages;  // "… found!" lines, in order
    std::string playlistTitle;
};

// Scans the playlist's bytes; baseName is the input's own file name without extension.
Playlist scanPlaylist(std::string_view bytes, std::string_view baseName);

// The Read XPL run: "Open …", "Filesize: …", the scan, "… found!" lines, "Done.".
// Returns nullopt (after logging why) when the file cannot be read.
std::optional<Playlist> readPlaylist(const std::filesystem::path& path, std::string_view baseName,
                                     EngineHost& host);

}  // namespace kavrel::playlist
