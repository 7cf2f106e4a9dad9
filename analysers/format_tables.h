#pragma once
// The coding formats the scanner tells apart and the constant tables that the scanner and the
// stream header analysers share. A leaf: it includes nothing of the project.
#include <array>
#include <cstdint>
#include <string_view>

namespace kavrel {

enum class VideoKind : uint8_t { Mpeg2 = 0, H264 = 1, Vc1 = 2 };
enum class AudioClass : uint8_t {
    DolbyDigital = 0,
    DolbyDigitalPlus = 1,
    Dts = 2,
    Lpcm = 3,  // or MLP on DVD-Audio (sub-stream 0xA1 of an .AOB)
    TrueHd = 4,
    MpegAudio = 5,  // MPEG-1/2 audio, layers I-III, in PES stream ids of its own
};

// Entries 0-3: sample rates in Hz (3 is reserved); 4-22: AC-3 nominal bit rates in bit/s,
// indexed 4 + frame size code / 2.
inline constexpr std::array<uint32_t, 23> kRateTable = {
    48000,  44100,  32000,  0,      32000,  40000,  48000,  56000,  64000,  80000,  96000, 112000,
    128000, 160000, 192000, 224000, 256000, 320000, 384000, 448000, 512000, 576000, 640000};

// Channel arrangements of DVD-Audio (MLP and LPCM channel assignment).
inline constexpr std::array<std::string_view, 21> kChannelTableA = {
    "C (mono)",
    "L + R",
    "Lf + Rf + S",
    "Lf + Rf + Ls + Rs",
    "Lf + Rf + LFE",
    "Lf + Rf + LFE + S",
    "Lf + Rf + LFE + Ls + Rs",
    "Lf + Rf + C",
    "Lf + Rf + C + S",
    "Lf + Rf + C + Ls + Rs",
    "Lf + Rf + C + LFE",
    "Lf + Rf + C + LFE + S",
    "Lf + Rf + C + LFE + Ls + Rs",
    "Lf + Rf + C + S",
    "Lf + Rf + C + Ls + Rs",
    "Lf + Rf + C + LFE",
    "Lf + Rf + C + LFE + S",
    "Lf + Rf + C + LFE + Ls + Rs",
    "Lf + Rf + Ls + Rs + LFE",
    "Lf + Rf + Ls + Rs + C",
    "Lf + Rf + Ls + Rs + C + LFE",
};

// The channels of each DVD-Audio channel assignment (MLP and LPCM, codes 0-20, the speakers of
// kChannelTableA): how many are coded in channel group 1 and in group 2, and the WAVE speaker
// mask of them all (front left 0x1, front right 0x2, centre 0x4, LFE 0x8, back left 0x10, back
// right 0x20, back centre 0x100; the surrounds of DVD-Audio are the back speakers of WAVE).
struct DvdAudioChannels {
    uint8_t group1;
    uint8_t group2;
    uint32_t wavMask;
    constexpr int total() const { return group1 + group2; }
};
inline constexpr std::array<DvdAudioChannels, 21> kDvdAudioChannels = {{
    {1, 0, 0x4},  {2, 0, 0x3},   {2, 1, 0x103}, {2, 2, 0x33}, {2, 1, 0xB},   {2, 2, 0x10B},
    {2, 3, 0x3B}, {2, 1, 0x7},   {2, 2, 0x107}, {2, 3, 0x37}, {2, 2, 0xF},   {2, 3, 0x10F},
    {2, 4, 0x3F}, {3, 1, 0x107}, {3, 2, 0x37},  {3, 1, 0xF},  {3, 2, 0x10F}, {3, 3, 0x3F},
    {4, 1, 0x3B}, {4, 1, 0x37},  {4, 2, 0x3F},
}};

// Channel arrangements of Dolby TrueHD: only entry 15 is known, the others read "???n".
inline constexpr std::array<std::string_view, 22> kChannelTableB = {
    "???0",  "???1",  "???2",  "???3",  "???4",  "???5",  "???6",  "???7",
    "???8",  "???9",  "???10", "???11", "???12", "???13", "???14", "Lf + Rf + Ls + Rs + C + LFE",
    "???16", "???17", "???18", "???19", "???20", "???21",
};

inline constexpr std::array<std::string_view, 3> kBitDepthTable = {"16", "20", "24"};

// DVD-Audio (MLP and LPCM) sample depth codes: 0 16 bit, 1 20 bit, 2 24 bit; 0 for the others.
constexpr int dvdAudioBitDepth(int code) {
    return code >= 0 && code <= 2 ? 16 + 4 * code : 0;
}

// DVD-Audio sampling frequency codes in Hz: 48 or 44.1 kHz times 1, 2 or 4; 0 for the others.
constexpr uint32_t dvdAudioSampleRate(int code) {
    if (code >= 0 && code <= 2) return 48000u << code;
    if (code >= 8 && code <= 10) return 44100u << (code - 8);
    return 0;
}

inline constexpr std::array<std::string_view, 11> kSampleRateText = {
    "48", "96", "192", "", "", "", "", "", "44.1", "88.2", "176.4"};

}  // namespace kavrel
