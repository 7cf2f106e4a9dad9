#include "engine/input_kind.h"

#include <functional>
#include <memory>
#include <vector>

#include "engine/io.h"
#include "engine/names.h"
#include "engine/pes_header.h"
#include "engine/stream_ids.h"

namespace kavrel {

namespace {

// Enough packs to meet a navigation pack, the video and every audio stream of a disc.
constexpr std::size_t kKindProbeBytes = 128 * kPackSize;

struct Evidence {
    bool hdDvd = false;      // ids only an HD DVD uses: VC-1, DD+, TrueHD, extended subpictures
    bool video = false;      // any video stream
    bool dvdAudio = false;   // a DVD-Audio private header (LPCM or MLP)
    bool dvdStream = false;  // streams a DVD-Video object carries as well
};

// The private header of DVD-Audio LPCM: a header length of 8 or more bytes, then the fixed
// 0x00 and 0x80 around the channel assignment (0-20). DVD-Video LPCM has audio samples there.
bool isDvdAudioLpcmHeader(std::span<const uint8_t> sub) {
    return sub.size() >= 12 && sub[2] == 0 && sub[3] >= 8 && sub[9] == 0 && sub[10] <= 20 &&
           sub[11] == 0x80;
}

// DVD-Audio MLP: a continuity counter, then a header of six bytes.
bool isDvdAudioMlpHeader(std::span<const uint8_t> sub) {
    return sub.size() >= 4 && sub[1] < 0x20 && sub[2] == 0 && sub[3] == 6;
}

void notePacket(std::span<const uint8_t> packet, Evidence& seen) {
    const uint8_t id = packet[kStreamIdOffset];
    if (id >= 0xE0 && id <= 0xEF) {
        seen.video = true;
        return;
    }
    if (id >= 0xC0 && id <= 0xDF) {
        seen.dvdStream = true;
        return;
    }
    if ((id != kPrivateStream1Id && id != kExtendedStreamId) ||
        packet.size() <= kPesHeaderLengthOffset)
        return;
    const std::size_t dataEnd = kPesHeaderDataOffset + packet[kPesHeaderLengthOffset];
    if (dataEnd > packet.size()) return;
    if (id == kExtendedStreamId) {
        const PesHeaderFields fields = parsePesHeaderData(
            packet[kPesFlagsOffset],
            packet.subspan(kPesHeaderDataOffset, dataEnd - kPesHeaderDataOffset));
        if (fields.streamIdExtensionAt < 0) return;
        const uint8_t extension =
            packet[kPesHeaderDataOffset + static_cast<std::size_t>(fields.streamIdExtensionAt)] &
            0x7F;
        const IdFamily* family = findFamily(IdSpace::Extension, extension);
        if (family && family->kind == StreamKind::Video) seen.video = seen.hdDvd = true;
        return;
    }
    const std::span<const uint8_t> sub = packet.subspan(dataEnd);
    if (sub.empty()) return;
    const uint8_t subId = sub[0];
    if ((subId >= 0xC0 && subId <= 0xCF) || (subId >= 0xB0 && subId <= 0xB7) ||
        (subId >= 0x60 && subId <= 0x7F)) {
        seen.hdDvd = true;
    } else if ((subId == 0xA0 && isDvdAudioLpcmHeader(sub)) ||
               (subId == kAobMlpId && isDvdAudioMlpHeader(sub))) {
        seen.dvdAudio = true;
    } else if (findFamily(IdSpace::Private1, subId)) {
        seen.dvdStream = true;
    }
}

// Walks the packs from the first pack start code on, packet by packet inside each pack.
Evidence gather(std::span<const uint8_t> bytes) {
    Evidence seen;
    std::size_t at = 0;
    while (at + kPackHeaderSize <= bytes.size()) {
        const uint8_t* pack = bytes.data() + at;
        if (!(pack[0] == 0 && pack[1] == 0 && pack[2] == 1 && pack[3] == kPackStartId)) {
            ++at;
            continue;
        }
        std::size_t packet = at + firstPacketAt(pack);
        const std::size_t packEnd = std::min(bytes.size(), at + kPackSize);
        while (packet + kPesHeaderDataOffset <= packEnd) {
            const uint8_t* p = bytes.data() + packet;
            if (!(p[0] == 0 && p[1] == 0 && p[2] == 1) || p[3] == kPackStartId) break;
            const std::size_t length = 6 + (std::size_t{p[4]} << 8 | p[5]);
            notePacket(bytes.subspan(packet, std::min(length, packEnd - packet)), seen);
            packet += length;
        }
        at += kPackHeaderSize;
    }
    return seen;
}

}  // namespace

InputKind inputKindOfName(const std::filesystem::path& path) {
    const std::string extension = upperExtension(path);
    if (extension == ".VOB") return InputKind::Vob;
    if (extension == ".AOB") return InputKind::Aob;
    return InputKind::Evo;
}

InputKind inputKindOfContent(std::span<const uint8_t> firstBytes, InputKind hint) {
    const Evidence seen = gather(firstBytes);
    if (seen.hdDvd) return InputKind::Evo;
    if (seen.dvdAudio && !seen.video) return InputKind::Aob;
    // DVD streams: an EVO named so stays one; an AOB holds no video, nor DVD-Video audio.
    if (seen.video || seen.dvdStream)
        return hint == InputKind::Evo ? InputKind::Evo : InputKind::Vob;
    return hint;
}

namespace {

// The kind from the first packs of an input; the hint when it cannot be read.
InputKind probeKind(const std::function<std::unique_ptr<InputFile>()>& open, InputKind hint) {
    try {
        const std::unique_ptr<InputFile> file = open();
        const std::vector<uint8_t> bytes = readUpTo(
            *file, static_cast<std::size_t>(std::min<uint64_t>(file->size(), kKindProbeBytes)));
        return inputKindOfContent(bytes, hint);
    } catch (const IoError&) {
        return hint;
    }
}

}  // namespace

InputKind inputKindOf(const std::filesystem::path& path) {
    return probeKind([&] { return std::make_unique<InputFile>(path); }, inputKindOfName(path));
}

InputKind inputKindOf(const std::vector<ByteRange>& ranges, InputKind hint) {
    return probeKind([&] { return std::make_unique<InputFile>(ranges); }, hint);
}

}  // namespace kavrel
