#include "playlist/title_chapters.h"

#include "engine/names.h"
#include "playlist/tag_text.h"
#include "playlist/title_time.h"

namespace kavrel::playlist {

namespace {

// Whether the clip is carried by the file: its src names the file's own name (FEATURE_1.MAP
// for FEATURE_1.EVO), the rule that finds the title of an input.
bool carries(const Clip& clip, const std::filesystem::path& file) {
    return containsName(clip.src, CutExt(file.filename().string()));
}

}  // namespace

std::string titleCaption(const Title& title) {
    return "title " + std::to_string(title.number) + " (" + title.name + ")";
}

TitleSpan spanOfFiles(const Title& title, std::span<const std::filesystem::path> files) {
    if (files.empty()) return {};
    for (std::size_t first = 0; first < title.clips.size(); ++first) {
        if (!carries(title.clips[first], files[0])) continue;
        std::size_t last = first;
        while (last + 1 < title.clips.size() && last + 1 - first < files.size() &&
               carries(title.clips[last + 1], files[last + 1 - first]))
            ++last;
        TitleSpan span;
        span.from = title.clips[first].begin.value_or(0);
        if (last + 1 < title.clips.size()) span.to = title.clips[last].end;
        return span;
    }
    return {};
}

std::vector<formats::ChapterMark> chapterMarks(const TitleSet& set, const Title& title,
                                               const TitleSpan& span,
                                               std::vector<std::string>* dropped) {
    std::vector<formats::ChapterMark> marks;
    std::optional<int64_t> before;
    for (std::size_t i = 0; i < title.chapters.size(); ++i) {
        const Chapter& chapter = title.chapters[i];
        if (!chapter.begin) continue;
        // A mark no player can reach, or one that would run the chapters backwards.
        const char* why =
            title.duration && *chapter.begin >= *title.duration ? "it begins after the title's end"
            : before && *chapter.begin < *before ? "it begins before the chapter ahead of it"
                                                 : nullptr;
        if (why) {
            if (dropped)
                dropped->push_back(titleCaption(title) + ", chapter " + std::to_string(i + 1) +
                                   " left out: " + why + ".");
            continue;
        }
        before = chapter.begin;
        if (*chapter.begin < span.from) continue;
        if (span.to && *chapter.begin >= *span.to) continue;
        marks.push_back(formats::ChapterMark{
            frameNanoseconds(*chapter.begin - span.from, set.framesPerSecond), chapter.name});
    }
    return marks;
}

}  // namespace kavrel::playlist
