#pragma once
// What kind of disc object an input is: an HD DVD EVO, a DVD-Video VOB or a DVD-Audio AOB. The
// kind decides how navigation packs and LPCM headers are read, and sub-stream 0xA1 (MLP on
// DVD-Audio, LPCM on DVD-Video). The first packs tell it; the name is only a hint, for what
// they leave open (an EVO may carry MPEG-2 video and Dolby Digital just as a VOB does).
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "engine/disc_title.h"

namespace kavrel {

enum class InputKind : uint8_t { Evo, Vob, Aob };

// The kind a name suggests: .VOB, .AOB (any case), else EVO.
InputKind inputKindOfName(const std::filesystem::path& path);

// The kind of a program stream by what its first packs hold; hint decides where they do not.
InputKind inputKindOfContent(std::span<const uint8_t> firstBytes, InputKind hint);

// The kind of a file from its first packs, with its name as the hint. A file that cannot be
// read is of the kind its name says (the run that reads it reports why).
InputKind inputKindOf(const std::filesystem::path& path);

// The kind of ranges read as one input (a title's cells inside an image) from their first packs,
// with hint deciding what they leave open.
InputKind inputKindOf(const std::vector<ByteRange>& ranges, InputKind hint);

}  // namespace kavrel
