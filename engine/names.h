#pragma once
// File-name helpers of the runs, and the stream-type labels of the check boxes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stream_ids.h"

namespace kavrel {

// The name without its extension (the last "." and what follows); a name without one is whole.
std::string CutExt(std::string_view name);

// The follow-on file of a feature split over two files (FEATURE_1.EVO -> FEATURE_2.EVO,
// ABC3_X.EVO -> ABC4_X.EVO), or of a title set's object (VTS_01_1.VOB -> VTS_01_2.VOB,
// ATS_01_1.AOB -> ATS_01_2.AOB; a menu VTS_nn_0.VOB has none), or an empty path when there is
// none on disk.
std::filesystem::path getsecond(const std::filesystem::path& input);

// Every file the input goes on in, in order: a title set's further objects while the next part
// exists, else the one follow-on file (getsecond), else none.
std::vector<std::filesystem::path> followOnChain(const std::filesystem::path& input);

// The extension of a path, upper-cased, with its dot (".EVO"); empty when there is none.
std::string upperExtension(const std::filesystem::path& path);

// Base name of a run's outputs: the input's name without extension, followed by "_" and the
// follow-on file's name without extension when there is one.
std::string runBaseName(const std::filesystem::path& input, const std::filesystem::path& second);

// The kind of stream a check-box slot holds.
StreamKind slotKind(int slot);

// The slot's short name, as stream lists and intermediate files spell it: "v0", "a3", "s12".
std::string slotName(int slot);

// A stream number as two digits ("03"), as captions and file names show it.
std::string twoDigits(int n);

// The type label of a stream by its key (streamKey: "VC-1.stream", "DD+.stream" …); nullopt
// for an unknown key.
std::optional<std::string> streamLabel(StreamKind kind, int32_t key);

// The caption a read run gives a found stream's box: label + ".0"/".1" or ".00".. ".15".
std::string boxCaption(int slot, int32_t key);
// The same for a label already known.
std::string slotCaption(int slot, std::string_view label);

// The caption of a box whose stream was not found ("No video stream" …).
std::string emptyCaption(int slot);

}  // namespace kavrel
