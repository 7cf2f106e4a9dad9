#include "session/disc_readers.h"

#include "dvdvideo/video_disc.h"
#include "engine/io.h"
#include "playlist/disc_titles.h"

namespace kavrel::session {

namespace {

std::optional<DiscTitles> hdDvdDisc(const std::filesystem::path& path, std::vector<std::string>&) {
    return playlist::hdDvdTitles(path);
}

// The titles of a DVD-Video disc, each over its cells of the first angle.
std::optional<DiscTitles> videoDisc(const std::filesystem::path& path,
                                    std::vector<std::string>& problems) {
    if (!dvdvideo::looksLikeVideoDisc(path)) return std::nullopt;
    std::string problem;
    const std::optional<dvdvideo::VideoDisc> disc = dvdvideo::readVideoDisc(path, 1, problem);
    if (!disc) throw IoError(problem);
    problems.insert(problems.end(), disc->problems.begin(), disc->problems.end());
    DiscTitles titles;
    for (const dvdvideo::VideoTitle& title : disc->titles) titles.push_back(title.title);
    return titles;
}

}  // namespace

const std::vector<DiscReader>& discReaders() {
    static const std::vector<DiscReader> readers{hdDvdDisc, videoDisc};
    return readers;
}

std::optional<DiscTitles> readDisc(const std::filesystem::path& path,
                                   std::vector<std::string>& problems) {
    for (const DiscReader& reader : discReaders())
        if (std::optional<DiscTitles> titles = reader(path, problems)) return titles;
    return std::nullopt;
}

const DiscTitle* chooseTitle(const DiscTitles& titles, std::optional<int> number) {
    for (const DiscTitle& title : titles)
        if (number ? title.number == *number : title.mainFeature) return &title;
    if (!number && !titles.empty()) return &titles.front();
    return nullptr;
}

}  // namespace kavrel::session
