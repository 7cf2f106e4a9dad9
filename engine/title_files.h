#pragma once
// Titles made of whole files, the form every producer of a title without byte ranges of its own
// gives: the input and the follow-on files of its name, or the clips of an HD DVD playlist title.
#include <filesystem>
#include <string>
#include <vector>

#include "engine/disc_title.h"
#include "engine/input_kind.h"

namespace kavrel {

// The files in order, each read whole (the length is the file's size now; 0 when it cannot be
// read, and the run then says why when it opens it).
DiscTitle titleOfFiles(const std::vector<std::filesystem::path>& files);

// The input, and with cont the follow-on files of its name in order: every further part of a
// DVD object (VTS_01_1.VOB, VTS_01_2.VOB …), the one follow-on of a feature (FEATURE_2.EVO).
DiscTitle followOnTitle(const std::filesystem::path& input, bool cont);

// The ranges of one file that follow each other in a title: a run reads them as one part, with
// its own "Opening file" or "Continue on" line.
struct TitlePart {
    std::filesystem::path file;
    std::vector<ByteRange> ranges;
    // The part is the file from its start to its end, as it is now.
    bool wholeFile() const;
};
std::vector<TitlePart> titleParts(const DiscTitle& title);

// The kind of disc object a part holds, from its first packs: a whole file's name is the hint;
// a part of an image (cells of a DVD title) is taken for a VOB where the packs leave it open.
InputKind partKind(const TitlePart& part);

// The base name of a title's outputs: its first file's name without extension, and "_" and the
// second file's when there is one (FEATURE_1_FEATURE_2).
std::string titleBaseName(const DiscTitle& title);

// The folder a title's outputs go to: the work folder, or its first file's folder.
std::filesystem::path titleOutputFolder(const DiscTitle& title,
                                        const std::filesystem::path& workdir);

}  // namespace kavrel
