// The per-pack work of a rebuild: find the stream the pack carries, decide whether it is kept,
// give kept streams dense new identifiers, and patch the bounds of the system header.
#include <optional>

#include "engine/pes_header.h"
#include "engine/stream_ids.h"
#include "rebuild/rebuild.h"

namespace kavrel {

namespace {

// Where the identifier of a pack's stream sits (from the start of the pack's first packet),
// the family of ids it belongs to, and its key among the streams of its kind.
struct StreamRef {
    const IdFamily* family;
    std::size_t at;
    int32_t key;
};

bool isPackStart(const uint8_t* pack, std::size_t size) {
    return size >= 4 && pack[0] == 0 && pack[1] == 0 && pack[2] == 1 && pack[3] == kPackStartId;
}

// Whether the bytes start with a packet start code prefix and a stream id.
bool isPacket(const uint8_t* packet, std::size_t size) {
    return size > kStreamIdOffset && packet[0] == 0 && packet[1] == 0 && packet[2] == 1;
}

// Offset of the byte of an extended stream id packet that carries its stream_id_extension; 0
// when the header has none within its declared length and the bytes read.
std::size_t streamIdExtensionAt(const uint8_t* packet, std::size_t size) {
    if (size <= kPesHeaderLengthOffset) return 0;
    const std::size_t headerEnd = kPesHeaderDataOffset + packet[kPesHeaderLengthOffset];
    const std::size_t limit = headerEnd < size ? headerEnd : size;
    if (limit <= kPesHeaderDataOffset) return 0;
    const PesHeaderFields fields =
        parsePesHeaderData(packet[kPesFlagsOffset],
                           std::span(packet + kPesHeaderDataOffset, limit - kPesHeaderDataOffset));
    if (fields.streamIdExtensionAt < 0) return 0;
    return kPesHeaderDataOffset + static_cast<std::size_t>(fields.streamIdExtensionAt);
}

// The stream of a pack's first packet when it is one with a check box.
std::optional<StreamRef> locateStream(const uint8_t* packet, std::size_t size) {
    if (!isPacket(packet, size)) return std::nullopt;
    const uint8_t id = packet[kStreamIdOffset];
    IdSpace space = IdSpace::StreamId;
    std::size_t at = kStreamIdOffset;
    if (id == kPrivateStream1Id) {  // private stream 1: the sub-stream id opens the payload
        if (size <= kPesHeaderLengthOffset) return std::nullopt;
        space = IdSpace::Private1;
        at = kPesHeaderDataOffset + packet[kPesHeaderLengthOffset];
        if (at >= size) return std::nullopt;
    } else if (id == kExtendedStreamId) {  // extended stream id: named by its stream_id_extension
        space = IdSpace::Extension;
        at = streamIdExtensionAt(packet, size);
        if (!at) return std::nullopt;
    }
    const IdFamily* family = findFamily(space, packet[at]);
    if (!family || family->number(packet[at]) >= selectableNumbers(family->kind))
        return std::nullopt;
    return StreamRef{family, at, streamKey(space, packet[at])};
}

// Whether the stream with this key is to be kept: a listed stream follows its box, a stream
// the read run did not list is kept.
template <std::size_t N>
bool isSelected(const std::array<int32_t, N>& list, int firstSlot, int32_t key,
                const std::array<bool, kSlotCount>& checked) {
    for (std::size_t i = 0; i < N; ++i)
        if (list[i] == key) return checked[static_cast<std::size_t>(firstSlot) + i];
    return true;
}

bool isSelected(StreamKind kind, int32_t key, const StreamLists& lists,
                const std::array<bool, kSlotCount>& checked) {
    // A stream left without a number has no box: it is written nowhere.
    for (const auto& [unnumberedKind, id] : lists.unnumbered)
        if (unnumberedKind == kind && id == key) return false;
    switch (kind) {
        case StreamKind::Video:
            return isSelected(lists.video, videoSlot(0), key, checked);
        case StreamKind::Audio:
            return isSelected(lists.audio, audioSlot(0), key, checked);
        case StreamKind::Subpicture:
            break;
    }
    return isSelected(lists.sub, subSlot(0), key, checked);
}

uint8_t& counterOf(StreamKind kind, Renumbering& renumbering) {
    switch (kind) {
        case StreamKind::Video:
            return renumbering.video;
        case StreamKind::Audio:
            return renumbering.audio;
        case StreamKind::Subpicture:
            break;
    }
    return renumbering.sub;
}

// Gives a kept stream its new identifier the first time it is met: the next of its kind, from
// the first id of its family on. A family with no identifier left at that number keeps the
// stream's own id, or where another kept stream was given that one already, the first of the
// family's renumbered ids still free: one counter serves every family of a kind, so a family
// narrower than the count of kept streams runs out while its low ids may be taken. The new
// identifier is of the stream's own family, so it stays in its id space: MPEG audio keeps a
// stream id, private stream 1 audio a sub-stream id.
void assignIdentifier(const StreamRef& stream, uint8_t id, Renumbering& renumbering) {
    uint8_t& entry = renumbering.table[static_cast<std::size_t>(stream.key)];
    if (entry != Renumbering::kNone) return;
    const IdFamily& family = *stream.family;
    auto taken = [&](unsigned candidate) -> bool& {
        return renumbering.taken[static_cast<std::size_t>(
            streamKey(family.space, static_cast<uint8_t>(candidate)))];
    };
    uint8_t& counter = counterOf(family.kind, renumbering);
    unsigned chosen = id;
    if (counter < family.renumberWidth && !taken(family.first + counter)) {
        chosen = family.first + counter;
        ++counter;
    } else if (taken(id)) {
        // A family has as many renumbered ids as it can have streams with a box, so one of
        // them is free.
        chosen = family.first;
        while (chosen + 1u < family.first + family.renumberWidth && taken(chosen)) ++chosen;
    }
    entry = static_cast<uint8_t>(chosen);
    taken(chosen) = true;
}

template <std::size_t N>
unsigned countSelected(const std::array<int32_t, N>& list, int firstSlot,
                       const std::array<bool, kSlotCount>& checked) {
    unsigned count = 0;
    for (std::size_t i = 0; i < N; ++i)
        if (list[i] >= 0 && checked[static_cast<std::size_t>(firstSlot) + i]) ++count;
    return count;
}

// A system header as the pack's first packet gets audio_bound and video_bound set to the
// numbers of selected streams; fixed_flag, CSPS_flag, the lock flags and the marker bit stay.
void patchSystemHeader(uint8_t* packet, std::size_t size, const StreamLists& lists,
                       const std::array<bool, kSlotCount>& checked) {
    if (size <= kVideoBoundOffset || !isPacket(packet, size) ||
        packet[kStreamIdOffset] != kSystemHeaderId)
        return;
    const unsigned audio = countSelected(lists.audio, audioSlot(0), checked);
    const unsigned video = countSelected(lists.video, videoSlot(0), checked);
    uint8_t& audioBound = packet[kAudioBoundOffset];
    uint8_t& videoBound = packet[kVideoBoundOffset];
    audioBound = static_cast<uint8_t>((audioBound & 0x03u) | (audio << 2));
    videoBound = static_cast<uint8_t>((videoBound & 0xE0u) | video);
}

}  // namespace

bool filterPack(uint8_t* pack, std::size_t size, const StreamLists& lists,
                const std::array<bool, kSlotCount>& checked, Renumbering& renumbering) {
    if (!isPackStart(pack, size)) return false;
    if (size < kPackHeaderSize) return true;  // the cut last pack of a file: kept as read
    // The first packet follows the pack header and its stuffing.
    const std::size_t first = firstPacketAt(pack);
    if (first >= size) return true;
    uint8_t* const packet = pack + first;
    const std::size_t left = size - first;
    patchSystemHeader(packet, left, lists, checked);
    const auto stream = locateStream(packet, left);
    if (!stream) return true;  // navigation, padding and unknown streams pass unchanged
    uint8_t& id = packet[stream->at];
    const bool keep = isSelected(stream->family->kind, stream->key, lists, checked);
    if (keep) assignIdentifier(*stream, id, renumbering);
    // Dropped packs are renumbered too; a stream with no new identifier keeps its own.
    const uint8_t renumbered = renumbering.table[static_cast<std::size_t>(stream->key)];
    if (renumbered != Renumbering::kNone) id = renumbered;
    return keep;
}

}  // namespace kavrel
