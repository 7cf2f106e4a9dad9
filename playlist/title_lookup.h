#pragma once
// Finding the title that plays an input in the re-indented playlist: the Read XPL cut and the
// title model use this one rule, so both always name the same title.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playlist/memo.h"

namespace kavrel::playlist {

struct LineRange {
    std::size_t first;
    std::size_t last;  // inclusive
};

// The lines of the Title element around the first line, below the first line of the playlist,
// that names the input (a title whose own tag names it counts too). A title without its
// closing tag runs to the last line. nullopt when baseName is empty or no title names it.
std::optional<LineRange> titleOf(const Memo& memo, std::string_view baseName);

}  // namespace kavrel::playlist
