#pragma once
// Chapter files for Matroska muxers: the Matroska chapter XML (one edition, one atom per
// chapter) and the simple OGM form (CHAPTER01=00:00:00.000, CHAPTER01NAME=…).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kavrel::formats {

struct ChapterMark {
    int64_t start = 0;  // nanoseconds from the start of the output
    std::string name;   // UTF-8
};

// "HH:MM:SS.nnnnnnnnn", the time form of ChapterTimeStart.
std::string matroskaTime(int64_t nanoseconds);
// "HH:MM:SS.mmm", to the nearest millisecond.
std::string ogmTime(int64_t nanoseconds);

// The chapters as Matroska chapter XML; language is the ISO 639-2 code of the names.
std::string matroskaChapterXml(std::span<const ChapterMark> marks,
                               std::string_view language = "und");
// The chapters in the OGM form, one CHAPTERnn and CHAPTERnnNAME line pair each.
std::string ogmChapters(std::span<const ChapterMark> marks);

}  // namespace kavrel::formats
