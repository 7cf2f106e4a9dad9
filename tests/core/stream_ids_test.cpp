// Every stream family with a check box is found by the scanner, labelled, and filtered and
// renumbered by the rebuild alike, for its first and its last selectable number.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/names.h"
#include "engine/stream_ids.h"
#include "rebuild/rebuild.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

Bytes packetOf(const IdFamily& family, uint8_t id) {
    const Bytes payload(200, 0x5A);
    switch (family.space) {
        case IdSpace::StreamId:
            return Pes(id).pts(900).payload(payload).packet();
        case IdSpace::Extension:
            return Pes(kExtendedStreamId).pts(900).streamIdExtension(id).payload(payload).packet();
        case IdSpace::Private1:
            break;
    }
    const Bytes sub =
        family.kind == StreamKind::Subpicture ? subpictureSubHeader(id) : audioSubHeader(id);
    return Pes(kPrivateStream1Id).pts(900).subHeader(sub).payload(payload).packet();
}

int slotOf(StreamKind kind, int number) {
    return kind == StreamKind::Video   ? videoSlot(number)
           : kind == StreamKind::Audio ? audioSlot(number)
                                       : subSlot(number);
}

int32_t found(const RunState& state, StreamKind kind, int number) {
    return kind == StreamKind::Video   ? state.foundVideo[number]
           : kind == StreamKind::Audio ? state.foundAudio[number]
                                       : state.foundSub[number];
}

TEST(StreamIds, EveryOfferedFamilyIsScannedLabelledAndFiltered) {
    int families = 0;
    for (const IdFamily& family : kIdFamilies) {
        if (!family.label) continue;  // never offered under a label of its own
        ++families;
        const int lastNumber =
            std::min(family.last - family.first, selectableNumbers(family.kind) - 1);
        for (int number : {0, lastNumber}) {
            const auto id = static_cast<uint8_t>(family.first + number);
            SCOPED_TRACE(std::string(family.label) + " " + std::to_string(id));
            const int slot = slotOf(family.kind, number);
            const Bytes pack = PsBuilder().pack({packetOf(family, id)}).bytes();

            ScanRun scan;
            scan.run(pack, ScanMode::Read);
            const int32_t key = streamKey(family.space, id);
            EXPECT_EQ(found(scan.state, family.kind, number), key);
            scan.state.keepStreamLists();
            EXPECT_TRUE(boxCaption(slot, key).starts_with(family.label));

            std::array<bool, kSlotCount> checked{};
            Bytes dropped = pack;
            Renumbering none;
            EXPECT_FALSE(
                filterPack(dropped.data(), dropped.size(), scan.state.lists, checked, none));
            checked[static_cast<std::size_t>(slot)] = true;
            Bytes kept = pack;
            Renumbering renumbering;
            EXPECT_TRUE(
                filterPack(kept.data(), kept.size(), scan.state.lists, checked, renumbering));
            // The first kept stream of its kind gets the first id of its family.
            EXPECT_EQ(renumbering.table[static_cast<std::size_t>(key)], family.first);
        }
    }
    EXPECT_EQ(families, 11);
}

}  // namespace
}  // namespace kavrel::test
