#pragma once
// The stream-id space of the program streams read here, as one table that the scanner, the
// stream labels, the rebuild filter and its renumbering all read.
//
// A stream is named by one byte in one of three places:
//
//   PES stream_id, the byte after the start code prefix 00 00 01:
//     0xBA         pack header                 0xBB  system header
//     0xBC         program stream map          0xBE  padding stream
//     0xBD         private stream 1: audio and subpictures, named by the sub-stream id below
//     0xBF         private stream 2: navigation (sub-stream 0x00 PCI, 0x01 DSI)
//     0xC0-0xCF    MPEG audio 0-15, streams of their own like the private stream 1 audio
//     0xD0-0xDF    MPEG audio the scanner passes over (a rebuild keeps them)
//     0xE0-0xE1    MPEG-2 video 0-1
//     0xE2-0xE3    H.264 video 0-1
//     0xFD         extended stream id, named by the stream_id_extension below
//
//   stream_id_extension of a 0xFD packet (in the PES extension, PES_extension_flag_2):
//     0x55-0x56    VC-1 video 0-1
//
//   private stream 1 sub-stream id, the first byte after the PES header:
//     0x20-0x3F    subpicture 0-31             0x60-0x7F  extended subpicture 0-31
//     0x80-0x87    Dolby Digital 0-7           0x88-0x8F  DTS (HD) 0-7
//     0xA0-0xA7    LPCM 0-7                    0xB0-0xB7  Dolby TrueHD 0-7
//     0xC0-0xCF    Dolby Digital Plus 0-15
//   On a DVD-Audio object (.AOB), 0xA1 carries MLP instead of LPCM.
//
// The sub-stream id is followed by a frame count and a 16-bit first access unit pointer; LPCM
// then has 3 more header bytes (quantisation, rate, channels), TrueHD 1.
//
// A stream's number is its id minus the first id of its family. Video streams 0-1, audio
// 0-15 and subpictures 0-15 have a check box; subpictures 16-31 are announced only.
//
// The same byte names different streams in different places: MPEG audio 0xC0 (a stream id)
// and Dolby Digital Plus 0xC0 (a sub-stream id) are two streams. Where streams of one kind
// are listed together they are told apart by their key (streamKey below).
#include <array>
#include <cstdint>

#include "analysers/format_tables.h"

namespace kavrel {

enum class StreamKind { Video, Audio, Subpicture };

enum class IdSpace : uint8_t { StreamId, Private1, Extension };

// The stream ids that are structure rather than a stream of their own.
inline constexpr uint8_t kPackStartId = 0xBA;
inline constexpr uint8_t kSystemHeaderId = 0xBB;
inline constexpr uint8_t kProgramStreamMapId = 0xBC;
inline constexpr uint8_t kPrivateStream1Id = 0xBD;
inline constexpr uint8_t kPaddingStreamId = 0xBE;
inline constexpr uint8_t kPrivateStream2Id = 0xBF;
inline constexpr uint8_t kExtendedStreamId = 0xFD;
inline constexpr uint8_t kNavigationSubstream = 0x01;  // DSI, in private stream 2

struct IdFamily {
    IdSpace space;
    uint8_t first;
    uint8_t last;
    StreamKind kind;
    VideoKind video = VideoKind::Mpeg2;           // video families
    AudioClass audio = AudioClass::DolbyDigital;  // audio families
    const char* label = nullptr;    // the box caption's label and file-name part ("DD+.stream")
    const char* message = nullptr;  // the announcement, before the number and " found!"
    uint8_t privateHeader = 0;      // header bytes after the frame count and pointer
    uint8_t renumberWidth = 0;      // new ids a rebuild hands out, from `first` on
    bool scanned = true;            // the scanner takes its packets (else only the rebuild)
    // Video whose first packet takes the last PTS read before its own header (a packet
    // without one keeps that); H.264 takes none there.
    bool firstPtsFromLastHeader = false;

    constexpr int number(uint8_t id) const { return id - first; }
};

// Numbers with a check box, per kind.
constexpr int selectableNumbers(StreamKind kind) {
    return kind == StreamKind::Video ? 2 : 16;
}

namespace table {
using enum IdSpace;
using enum StreamKind;
// clang-format off
inline constexpr IdFamily kIdFamilies[] = {
//   space      first last  kind        video            audio class                    label             message                                    private renumber scanned firstPts
    {StreamId,  0xE0, 0xE1, Video,      VideoKind::Mpeg2, {},                           "MPEG-2.stream",  "[b]MPEG-2[/b] video stream ",             0,      2,       true,   true},
    {StreamId,  0xE2, 0xE3, Video,      VideoKind::H264,  {},                           "H.264.stream",   "[b]H.264 (AVC)[/b] video stream ",        0,      2,       true,   false},
    {Extension, 0x55, 0x56, Video,      VideoKind::Vc1,   {},                           "VC-1.stream",    "[b]VC-1[/b] video stream ",               0,      2,       true,   true},
    {StreamId,  0xC0, 0xCF, Audio,      {},               AudioClass::MpegAudio,        "MPA.stream",     "[b]MPEG[/b] audio stream ",               0,      16,      true,   false},
    {StreamId,  0xD0, 0xD7, Audio,      {},               {},                           nullptr,          nullptr,                                   0,      8,       false,  false},
    {StreamId,  0xD8, 0xDF, Audio,      {},               {},                           nullptr,          nullptr,                                   0,      8,       false,  false},
    {Private1,  0x20, 0x3F, Subpicture, {},               {},                           "Subpicture",     "[b]Subpicture[/b] stream ",               0,      16,      true,   false},
    {Private1,  0x60, 0x7F, Subpicture, {},               {},                           "Ext.Subpicture", "[b]Extended subpicture[/b] stream ",      0,      16,      true,   false},
    {Private1,  0x80, 0x87, Audio,      {},               AudioClass::DolbyDigital,     "DD.stream",      "[b]Dolby Digital[/b] audio stream ",      0,      8,       true,   false},
    {Private1,  0x88, 0x8F, Audio,      {},               AudioClass::Dts,              "DTSHD.stream",   "[b]DTS HD (DTS)[/b] audio stream ",       0,      8,       true,   false},
    {Private1,  0xA0, 0xA7, Audio,      {},               AudioClass::Lpcm,             "LPCM.stream",    "[b]LPCM[/b] audio stream ",               3,      8,       true,   false},
    {Private1,  0xB0, 0xB7, Audio,      {},               AudioClass::TrueHd,           "MLP.stream",     "[b]Dolby TrueHD[/b] audio stream ",       1,      8,       true,   false},
    {Private1,  0xC0, 0xCF, Audio,      {},               AudioClass::DolbyDigitalPlus, "DD+.stream",     "[b]Dolby Digital[/b] Plus audio stream ", 0,      16,      true,   false},
};
// clang-format on
}  // namespace table
using table::kIdFamilies;

// The first id of plain (not extended) subpictures.
inline constexpr uint8_t kPlainSubpictureId = 0x20;

// DVD-Audio: sub-stream 0xA1 carries MLP, announced as such.
inline constexpr uint8_t kAobMlpId = 0xA1;
inline constexpr const char* kAobMlpMessage = "[b]MLP[/b] audio stream ";

namespace detail {

// For each id of a space, the index of its family in kIdFamilies, or -1.
constexpr std::array<int8_t, 256> familyIndex(IdSpace space) {
    std::array<int8_t, 256> index{};
    index.fill(-1);
    for (std::size_t f = 0; f < std::size(kIdFamilies); ++f) {
        const IdFamily& family = kIdFamilies[f];
        if (family.space != space) continue;
        for (int id = family.first; id <= family.last; ++id)
            index[static_cast<std::size_t>(id)] = static_cast<int8_t>(f);
    }
    return index;
}

// No id belongs to two families of one space, and a rebuild never hands out an id outside
// its family.
constexpr bool familiesAreSound() {
    for (std::size_t f = 0; f < std::size(kIdFamilies); ++f) {
        const IdFamily& a = kIdFamilies[f];
        if (a.first > a.last || a.renumberWidth > a.last - a.first + 1) return false;
        for (std::size_t g = f + 1; g < std::size(kIdFamilies); ++g) {
            const IdFamily& b = kIdFamilies[g];
            if (a.space == b.space && a.first <= b.last && b.first <= a.last) return false;
        }
    }
    return true;
}
static_assert(familiesAreSound());

inline constexpr std::array<std::array<int8_t, 256>, 3> kFamilyIndex = {
    familyIndex(IdSpace::StreamId), familyIndex(IdSpace::Private1),
    familyIndex(IdSpace::Extension)};

}  // namespace detail

// The family of an id in its space; nullptr for an id no family holds.
constexpr const IdFamily* findFamily(IdSpace space, uint8_t id) {
    const int8_t f = detail::kFamilyIndex[static_cast<std::size_t>(space)][id];
    return f < 0 ? nullptr : &kIdFamilies[static_cast<std::size_t>(f)];
}

// The key of a stream among those of its kind: its id, with 0x100 added for the audio of the
// PES stream id space, whose ids 0xC0-0xDF are also private stream 1 sub-stream ids (Dolby
// Digital Plus). The run's lists and the rebuild's renumbering are indexed by it.
inline constexpr int32_t kStreamIdAudioKey = 0x100;
inline constexpr std::size_t kStreamKeyCount = 0x200;

constexpr int32_t streamKey(IdSpace space, uint8_t id) {
    const IdFamily* family = findFamily(space, id);
    const bool streamIdAudio =
        space == IdSpace::StreamId && family && family->kind == StreamKind::Audio;
    return streamIdAudio ? kStreamIdAudioKey | id : id;
}

// The family of a stream of a kind by its key; nullptr for a key no family holds.
constexpr const IdFamily* keyFamily(StreamKind kind, int32_t key) {
    if (key < 0 || key >= static_cast<int32_t>(kStreamKeyCount)) return nullptr;
    const auto id = static_cast<uint8_t>(key & 0xFF);
    for (IdSpace space : {IdSpace::StreamId, IdSpace::Private1, IdSpace::Extension}) {
        const IdFamily* family = findFamily(space, id);
        if (family && family->kind == kind && streamKey(space, id) == key) return family;
    }
    return nullptr;
}

}  // namespace kavrel
