#pragma once
// The check a run makes before it scans an input: a program stream starts with packs, so a file
// with no pack start code (00 00 01 BA) in its first megabytes is something else (a text file,
// another container, random bytes) and is refused as other players refuse it.
#include <cstdint>
#include <filesystem>
#include <span>

namespace kavrel {

inline constexpr uint64_t kProbeBytes = 4 * 1024 * 1024;

// Whether bytes hold a pack start code.
bool holdsPackStartCode(std::span<const uint8_t> bytes);

// Throws IoError "NAME is empty: there is nothing to read" or "NAME is not an MPEG program
// stream" (NAME the file name), and IoError when the file cannot be opened or read.
void requireProgramStream(const std::filesystem::path& path);

}  // namespace kavrel
