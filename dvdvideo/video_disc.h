#pragma once
// A DVD-Video disc read as a player reads it: VIDEO_TS.IFO lists the titles; each title set's
// VTS_nn_0.IFO gives the title's program chain, whose cells (sectors of the title set's VOBs)
// play one after the other. Each title becomes a DiscTitle whose ranges are those cells as
// byte ranges of the VOB files, or of the ISO image that holds them.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/disc_title.h"

namespace kavrel::dvdvideo {

inline constexpr std::string_view kEncryptedDisc =
    "this disc is encrypted; Kavrel reads unencrypted discs only";

struct VideoTitle {
    // number, durationSeconds, ranges, tracks (the video first, then audio and subtitles with
    // their stream keys), chapters, palette, width and height, angles, mainFeature.
    DiscTitle title;
    int titleSet = 0;            // VTS_nn
    int titleInSet = 0;          // the title's number inside its set
    std::string standard;        // "NTSC" or "PAL"
    std::string aspect;          // "4:3" or "16:9"
    double framesPerSecond = 0;  // of the cells' playback times; 0 when they give none
};

struct VideoDisc {
    std::vector<VideoTitle> titles;     // in the disc's order; at least one
    std::vector<std::string> problems;  // a title left out, with why ("title 3: …")
};

// Whether a path names a DVD-Video disc by its form: a folder holding VIDEO_TS, the VIDEO_TS
// folder itself, or an .iso image file. It says nothing about whether it can be read.
bool looksLikeVideoDisc(const std::filesystem::path& disc);

// Reads the titles of a disc (folder holding VIDEO_TS, the VIDEO_TS folder, or .iso image),
// taking the cells of `angle` (from 1) in a title with that many angles (a title with fewer
// plays its first; DiscTitle::angles says how many it has). None, with `problem`
// set to one line that says why, when no title can be read: no or damaged VIDEO_TS.IFO, every
// title's tables damaged or pointing past its VOB files, or an encrypted disc ("this disc is
// encrypted; Kavrel reads unencrypted discs only"). A caller then reads the VOB files as they
// are. Never reads outside the disc's files.
std::optional<VideoDisc> readVideoDisc(const std::filesystem::path& disc, int angle,
                                       std::string& problem);

// The titles of a disc whose IFO files cannot be read (see readVideoDisc): each title set's VOB
// files VTS_nn_1.VOB … VTS_nn_9.VOB read as they are, as title nn (named "VTS_nn", no tracks,
// chapters or duration), the largest the main feature. None, with `problem` set, when the disc
// has no title VOB file or is encrypted.
std::optional<VideoDisc> readVobTitleSets(const std::filesystem::path& disc, std::string& problem);

// readVideoDisc, and for a disc whose IFO files cannot be read (not an encrypted one)
// readVobTitleSets, its first problem line saying why and how the disc is read instead.
std::optional<VideoDisc> readVideoDiscOrVobs(const std::filesystem::path& disc, int angle,
                                             std::string& problem);

// A function run first in the child process that reads the IFO files: a fuzzer switches off
// its crash report there, as a fault in that child is an answer (damaged tables), not a find.
void setReaderChildStart(void (*start)());

}  // namespace kavrel::dvdvideo
