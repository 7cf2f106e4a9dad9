#include "playlist/title_lookup.h"

#include "playlist/tag_text.h"

namespace kavrel::playlist {

std::optional<LineRange> titleOf(const Memo& memo, std::string_view baseName) {
    if (baseName.empty()) return std::nullopt;
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t open = kNone;  // the Title element the scan is in
    for (std::size_t at = 0; at < memo.size(); ++at) {
        const std::string_view line = memo.text(at);
        if (isOpeningTag(line, "Title")) open = at;
        if (open != kNone && at >= 1 && containsName(line, baseName)) {
            std::size_t last = open;
            if (!isSelfClosing(memo.text(open))) {
                while (last + 1 < memo.size() && !isClosingTag(memo.text(last), "Title")) ++last;
            }
            return LineRange{open, last};
        }
        if (isClosingTag(line, "Title") || (open == at && isSelfClosing(line))) open = kNone;
    }
    return std::nullopt;
}

}  // namespace kavrel::playlist
