#include "engine/title_summary.h"

#include "engine/timefmt.h"

namespace kavrel {

namespace {

std::string languages(const DiscTitle& title, StreamKind kind) {
    std::string out;
    for (const TitleTrack& track : title.tracks) {
        if (track.kind != kind) continue;
        if (!out.empty()) out += ' ';
        out += track.language.empty() ? "-" : track.language;
    }
    return out;
}

}  // namespace

std::string titleSummary(const DiscTitle& title) {
    const std::size_t chapters = title.chapters.size();
    std::string out = std::to_string(title.number);
    if (!title.name.empty()) out += "  " + title.name;
    // A title read without its tables (a title set's VOB files as they are) has neither.
    if (title.durationSeconds > 0) out += "  " + formatClock(title.durationSeconds);
    if (chapters > 0)
        out += "  " + std::to_string(chapters) + (chapters == 1 ? " chapter" : " chapters");
    const std::string audio = languages(title, StreamKind::Audio);
    const std::string subtitles = languages(title, StreamKind::Subpicture);
    if (!audio.empty() || !subtitles.empty()) out += "  " + (audio.empty() ? "-" : audio);
    if (!subtitles.empty()) out += " / " + subtitles;
    if (title.mainFeature) out += "  main feature";
    return out;
}

}  // namespace kavrel
