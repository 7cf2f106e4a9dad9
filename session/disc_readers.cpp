#include "session/disc_readers.h"

#include "playlist/disc_titles.h"

namespace kavrel::session {

const std::vector<DiscReader>& discReaders() {
    static const std::vector<DiscReader> readers{
        playlist::hdDvdTitles,
    };
    return readers;
}

std::optional<DiscTitles> readDisc(const std::filesystem::path& path) {
    for (const DiscReader& reader : discReaders())
        if (std::optional<DiscTitles> titles = reader(path)) return titles;
    return std::nullopt;
}

const DiscTitle* chooseTitle(const DiscTitles& titles, std::optional<int> number) {
    for (const DiscTitle& title : titles)
        if (number ? title.number == *number : title.mainFeature) return &title;
    if (!number && !titles.empty()) return &titles.front();
    return nullptr;
}

}  // namespace kavrel::session
