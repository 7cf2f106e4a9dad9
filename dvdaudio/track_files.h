#pragma once
// The file of one track: a WAV as the demux run writes it, a FLAC of the same samples (libFLAC,
// with the track's numbers and the channel mask as Vorbis comments), or the MLP stream's bytes.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "formats/wav_writer.h"

namespace kavrel::dvdaudio {

class TrackFile {
  public:
    virtual ~TrackFile() = default;
    // WAV and FLAC: whole frames of WAV samples (little-endian, channels in mask-bit order);
    // MLP: stream bytes. Throws IoError.
    virtual void append(std::span<const uint8_t> bytes) = 0;
    // Completes the file (header sizes, FLAC stream info) and closes it. Throws IoError.
    virtual void finish() = 0;
    virtual uint64_t written() const = 0;
};

struct TrackTags {
    int track = 0;
    int tracks = 0;
    int disc = 0;  // the group of the track's title (DISCNUMBER)
};

enum class TrackFileFormat { Wav, Flac };

std::unique_ptr<TrackFile> createWavTrack(const std::filesystem::path& path,
                                          const formats::WavFormat& format);
std::unique_ptr<TrackFile> createFlacTrack(const std::filesystem::path& path,
                                           const formats::WavFormat& format, const TrackTags& tags);
std::unique_ptr<TrackFile> createRawTrack(const std::filesystem::path& path);

}  // namespace kavrel::dvdaudio
