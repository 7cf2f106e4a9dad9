#include "session/disc_readers.h"

#include "dvdvideo/video_disc.h"
#include "engine/io.h"
#include "playlist/disc_titles.h"

namespace kavrel::session {

namespace {

std::optional<DiscTitles> hdDvdDisc(const std::filesystem::path& path, const ReadChoice& choice,
                                    std::vector<std::string>&) {
    std::optional<DiscTitles> titles = playlist::hdDvdTitles(path);
    // Without going on, a title is read only as far as its first EVO file goes.
    if (titles && !choice.cont)
        for (DiscTitle& title : *titles)
            if (!title.ranges.empty())
                std::erase_if(title.ranges, [first = title.ranges.front().file](
                                                const ByteRange& r) { return r.file != first; });
    return titles;
}

// The titles of a DVD-Video disc, each over its cells of the chosen angle. Its VOB files are
// one sector space cut only for the file system, so a title always reads on across them.
std::optional<DiscTitles> videoDisc(const std::filesystem::path& path, const ReadChoice& choice,
                                    std::vector<std::string>& problems) {
    if (!dvdvideo::looksLikeVideoDisc(path)) return std::nullopt;
    std::string problem;
    const std::optional<dvdvideo::VideoDisc> disc =
        dvdvideo::readVideoDiscOrVobs(path, choice.angle, problem);
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
                                   std::vector<std::string>& problems, const ReadChoice& choice) {
    for (const DiscReader& reader : discReaders())
        if (std::optional<DiscTitles> titles = reader(path, choice, problems)) return titles;
    return std::nullopt;
}

const DiscTitle* chooseTitle(const DiscTitles& titles, std::optional<int> number) {
    for (const DiscTitle& title : titles)
        if (number ? title.number == *number : title.mainFeature) return &title;
    if (!number && !titles.empty()) return &titles.front();
    return nullptr;
}

}  // namespace kavrel::session
