#pragma once
// Chapters beside the outputs of a demux run: the chapters of the playlist's title that plays
// the input, fitted to the files the run read, as <output prefix>.chapters.xml.
#include <filesystem>
#include <string_view>
#include <vector>

#include "engine/disc_title.h"
#include "engine/host.h"
#include "engine/runs.h"

namespace kavrel::playlist {

// The path the chapters of a demux of input go to: beside its outputs, named as they are.
std::filesystem::path demuxChaptersPath(const DiscTitle& title, const RunOptions& options);

// Writes a chapter file. Throws IoError when it cannot be written, or when path is one of the
// files it was made from.
void writeChapterFile(const std::filesystem::path& path, std::string_view text,
                      const std::vector<std::filesystem::path>& sources);

// Writes the chapters after a demux run of a title's files with these options and logs one
// line: the file written, or why there are none (no playlist, no title plays the first file, no
// chapter).
// Returns false, after logging the error in red, only when the file cannot be written. The file
// written, or the error, goes into result when one is given.
bool writeDemuxChapters(const DiscTitle& title, const std::filesystem::path& playlist,
                        const RunOptions& options, EngineHost& host, RunResult* result = nullptr);

}  // namespace kavrel::playlist
