#pragma once
// The chapters of a title as marks of an output: title times turned into nanoseconds from the
// start of what was demuxed. A demux of FEATURE_2.EVO alone starts where the title's second
// clip begins; one of FEATURE_1.EVO alone ends where its clip ends.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/chapter_file.h"
#include "playlist/titles.h"

namespace kavrel::playlist {

// How messages name a title: "title 2 (The Feature)".
std::string titleCaption(const Title& title);

// A stretch of a title's timeline, in frames of the time base.
struct TitleSpan {
    int64_t from = 0;
    std::optional<int64_t> to;  // nullopt: to the end of the title
};

// The stretch the given files cover: from the begin of the clip the first file carries, to the
// end of the last clip the files carry one after the other. The whole title when the first
// file is none of its clips.
TitleSpan spanOfFiles(const Title& title, std::span<const std::filesystem::path> files);

// The title's chapters that begin inside the span, timed from its start. Chapters without a
// usable time are left out; so are those that begin at or after the title's end or before the
// chapter ahead of them, each with one line in dropped (when given).
std::vector<formats::ChapterMark> chapterMarks(const TitleSet& set, const Title& title,
                                               const TitleSpan& span = {},
                                               std::vector<std::string>* dropped = nullptr);

}  // namespace kavrel::playlist
