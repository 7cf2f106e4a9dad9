#pragma once
// What the first header of a stream says about it, as plain values. Each field is empty where
// the format does not say (LPCM of DVD-Video names no speakers, VC-1 may give no frame rate).
// The names follow ffprobe's stream fields (codec_name, channels, channel_layout, sample_rate,
// bits_per_raw_sample, bit_rate, width, height, display_aspect_ratio, profile, level), so that a
// report built from them reads as ffprobe's and mediainfo's do.
#include <cstdint>
#include <optional>
#include <string>

namespace kavrel::analysers {

struct StreamFacts {
    std::string codecName;  // ffprobe's codec names: "ac3", "eac3", "dts", "pcm_dvd", "mlp" …;
                            // empty when no header was found
    std::string format;     // the format as the log names it: "Dolby Digital Plus", "DTS-HD
                            // Master Audio", "MPEG-2" …

    // Audio.
    std::optional<int> channels;               // every coded channel, LFE included
    std::optional<std::string> channelLayout;  // the speakers, "L + R + C + Ls + Rs + LFE"
    std::optional<bool> lfe;
    std::optional<uint32_t> sampleRate;  // Hz
    std::optional<int> bitsPerSample;    // coded sample depth (LPCM, MLP, DTS source)
    std::optional<uint64_t> bitRate;     // bit/s
    std::optional<uint32_t> frameSize;   // bytes per coded audio frame

    // Video.
    std::optional<int> width;  // the picture as displayed (after cropping)
    std::optional<int> height;
    std::optional<std::string> displayAspectRatio;  // reduced, "16:9"
    std::optional<double> frameRate;                // frames per second, as the stream says it
    std::optional<bool> interlaced;  // fields may be coded (not a progressive sequence)
    std::optional<std::string> profile;
    std::optional<std::string> level;
};

// "W:H" of a ratio reduced to lowest terms; empty when either side is not positive.
std::string reducedRatio(uint64_t width, uint64_t height);

}  // namespace kavrel::analysers
