// The pack filter on hand-built packs: which packs are kept, how kept streams are renumbered,
// the system-header bounds, and packs that are short, damaged or of unknown streams.
#include <gtest/gtest.h>

#include <set>

#include "rebuild/rebuild.h"
#include "tests/core/rebuild_packs.h"

namespace kavrel {
namespace {

using namespace rebuildtest;

class FilterTest : public ::testing::Test {
  protected:
    // Runs the filter on a copy of pack; returns whether it was kept and leaves the result in out.
    bool run(const Bytes& in) {
        out = in;
        return filterPack(out.data(), out.size(), lists, checked, renumbering);
    }
    void select(int slot, bool on = true) { checked[static_cast<std::size_t>(slot)] = on; }

    StreamLists lists;
    std::array<bool, kSlotCount> checked{};
    Renumbering renumbering;
    Bytes out;
};

TEST_F(FilterTest, KeptAudioIsNumberedDenselyInOrderOfFirstAppearance) {
    lists.audio[1] = 0x89;  // DTS: audio number 1
    lists.audio[2] = 0xC2;  // DD+: audio number 2
    lists.audio[3] = 0xC3;
    select(audioSlot(1));
    select(audioSlot(2));  // 0xC3 is left out

    ASSERT_TRUE(run(pack({privateStream1(0xC2)})));
    EXPECT_EQ(out[kSubIdAt], 0xC0);
    EXPECT_FALSE(run(pack({privateStream1(0xC3)})));
    ASSERT_TRUE(run(pack({privateStream1(0x89)})));
    EXPECT_EQ(out[kSubIdAt], 0x89);  // the shared audio counter is 1: 0x88 | 1
    ASSERT_TRUE(run(pack({privateStream1(0xC2)})));
    EXPECT_EQ(out[kSubIdAt], 0xC0) << "a stream keeps its new id in every later pack";
    EXPECT_EQ(renumbering.audio, 2);
}

TEST_F(FilterTest, KeptVideoIsRenumberedFromZero) {
    lists.video = {0xE0, 0xE1};
    select(videoSlot(1));
    EXPECT_FALSE(run(pack({mpegStream(0xE0)})));
    ASSERT_TRUE(run(pack({mpegStream(0xE1)})));
    EXPECT_EQ(out[kStreamIdAt], 0xE0);
}

TEST_F(FilterTest, Vc1StreamIdExtensionIsFoundThroughEveryHeaderLayout) {
    lists.video = {0x55, 0x56};
    select(videoSlot(1));
    for (bool pstd : {false, true}) {
        for (bool dts : {false, true}) {
            SCOPED_TRACE(testing::Message() << "P-STD " << pstd << ", DTS " << dts);
            const std::size_t at = extensionAt(pstd, dts);
            ASSERT_FALSE(run(pack({extendedStream(0x55, pstd, dts)})));
            ASSERT_TRUE(run(pack({extendedStream(0x56, pstd, dts)})));
            EXPECT_EQ(out[at], 0x55);
            // Only the identifier changed.
            Bytes expected = pack({extendedStream(0x56, pstd, dts)});
            expected[at] = 0x55;
            EXPECT_EQ(out, expected);
        }
    }
}

// Every audio and subpicture format that gets a check box is filtered on its box, and a kept
// stream of each is renumbered within its own format's identifiers.
TEST_F(FilterTest, EveryOfferedAudioAndSubpictureFormatFollowsItsBox) {
    const uint8_t audio[] = {0x81, 0x8A, 0xA1, 0xB1, 0xC9};  // AC-3, DTS, LPCM, TrueHD, E-AC-3
    const uint8_t audioBase[] = {0x80, 0x88, 0xA0, 0xB0, 0xC0};
    const uint8_t subs[] = {0x21, 0x61};  // subpicture, extended subpicture
    const uint8_t subBase[] = {0x20, 0x60};
    for (int kept = 0; kept < 5; ++kept) {
        SCOPED_TRACE(testing::Message() << "audio kept " << std::hex << int{audio[kept]});
        lists = {};
        checked = {};
        renumbering = {};
        for (int i = 0; i < 5; ++i) lists.audio[static_cast<std::size_t>(i)] = audio[i];
        select(audioSlot(kept));
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(run(pack({privateStream1(audio[i])})), i == kept);
            if (i == kept) {
                EXPECT_EQ(out[kSubIdAt], audioBase[kept]);
            }
        }
    }
    for (int kept = 0; kept < 2; ++kept) {
        SCOPED_TRACE(testing::Message() << "subpicture kept " << kept);
        lists = {};
        checked = {};
        renumbering = {};
        lists.sub[1] = subs[kept];
        lists.sub[2] = subs[1 - kept];
        select(subSlot(1));
        EXPECT_FALSE(run(pack({privateStream1(subs[1 - kept])})));
        ASSERT_TRUE(run(pack({privateStream1(subs[kept])})));
        EXPECT_EQ(out[kSubIdAt], subBase[kept]);
    }
}

// MPEG audio stream id 0xC0 and the Dolby Digital Plus sub-stream 0xC0 are two streams: each
// follows its own box, and each is renumbered within its own id space.
TEST_F(FilterTest, MpegAudioAndDolbyDigitalPlusOfOneByteAreTwoStreams) {
    lists.audio[0] = streamKey(IdSpace::Private1, 0xC0);
    lists.audio[1] = streamKey(IdSpace::StreamId, 0xC0);
    lists.audio[2] = streamKey(IdSpace::StreamId, 0xC3);
    for (int kept : {0, 1}) {
        SCOPED_TRACE(kept);
        checked = {};
        renumbering = {};
        select(audioSlot(kept));
        select(audioSlot(2));
        EXPECT_EQ(run(pack({privateStream1(0xC0)})), kept == 0);
        EXPECT_EQ(out[kStreamIdAt], kPrivateStream1Id);
        EXPECT_EQ(out[kSubIdAt], 0xC0);
        EXPECT_EQ(run(pack({mpegStream(0xC0)})), kept == 1);
        EXPECT_EQ(out[kStreamIdAt], 0xC0);
        // The next kept audio stream: MPEG audio 0xC3 becomes stream id 0xC1, never a
        // sub-stream id or an id outside MPEG audio.
        ASSERT_TRUE(run(pack({mpegStream(0xC3)})));
        EXPECT_EQ(out[kStreamIdAt], 0xC1);
        EXPECT_EQ(renumbering.audio, 2);
    }
}

TEST_F(FilterTest, StreamsTheReadRunDidNotListAreKept) {
    lists.audio[0] = 0x80;
    ASSERT_TRUE(run(pack({privateStream1(0x82)})));
    EXPECT_EQ(out[kSubIdAt], 0x80);
    EXPECT_FALSE(run(pack({privateStream1(0x80)})));
}

// Packets whose identifier has no new value pass unchanged: never 0xFF, never another stream's.
TEST_F(FilterTest, UnknownAndUnrenumberedIdentifiersAreKeptAsTheyAre) {
    lists.audio[0] = 0xC5;
    select(audioSlot(0));
    ASSERT_TRUE(run(pack({privateStream1(0xC5)})));  // table[0xC5] := 0xC0
    const Bytes unknown[] = {
        pack({privateStream1(0x90)}),  // unknown sub-stream
        pack({privateStream1(0x30)}),  // subpicture number 16: no box
        pack({extendedStream(0x71)}),  // another extension
        pack({mpegStream(0xBF)}),      // private stream 2 (navigation)
        pack({mpegStream(0xBE)}),      // padding
        pack({systemHeader(1, 0), mpegStream(0xBF)}),
    };
    for (const Bytes& p : unknown) {
        Bytes expected = p;
        if (p[kStreamIdAt] == 0xBB) {
            expected[23] = static_cast<uint8_t>((p[23] & 0x03) | 1 << 2);
            expected[24] = static_cast<uint8_t>(p[24] & 0xE0);
        }
        EXPECT_TRUE(run(p));
        EXPECT_EQ(out, expected);
    }
    // A 0xFD packet whose extension byte holds a value renumbered for a sub-stream keeps it.
    ASSERT_TRUE(run(pack({extendedStream(0xC5)})));
    EXPECT_EQ(out[extensionAt(false, false)], 0xC5);
    // A dropped stream that never got a new value is not rewritten either.
    lists.audio[1] = 0x81;
    EXPECT_FALSE(run(pack({privateStream1(0x81)})));
    EXPECT_EQ(out[kSubIdAt], 0x81);
}

TEST_F(FilterTest, MoreStreamsThanAFormatHasIdentifiersKeepTheirOwn) {
    // Eight E-AC-3 streams take audio numbers 0-7; a ninth AC-3 stream would become 0x88, a
    // DTS identifier, if it were renumbered.
    for (uint8_t id = 0xC0; id < 0xC8; ++id) {
        ASSERT_TRUE(run(pack({privateStream1(id)})));
        EXPECT_EQ(out[kSubIdAt], id);
    }
    ASSERT_TRUE(run(pack({privateStream1(0x83)})));
    EXPECT_EQ(out[kSubIdAt], 0x83);
    ASSERT_TRUE(run(pack({privateStream1(0xCF)})));  // E-AC-3 still has identifiers left
    EXPECT_EQ(out[kSubIdAt], 0xC8);
}

// One counter serves every audio family, each with its own width: nine and more kept audio
// streams of mixed families never share an id, and each keeps its family. DTS 0x88 finds its
// family's next id given out, and its own id given to DTS 0x89.
TEST_F(FilterTest, ManyKeptAudioStreamsOfMixedFamiliesNeverShareAnIdentifier) {
    std::set<uint8_t> given;
    for (int id : {0x89, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0x88, 0x80, 0x81, 0x8A, 0xA0,
                   0xA1, 0xB0, 0xB1, 0xC7, 0xC8, 0xCF}) {
        ASSERT_TRUE(run(pack({privateStream1(static_cast<uint8_t>(id))})));
        EXPECT_EQ(findFamily(IdSpace::Private1, out[kSubIdAt]),
                  findFamily(IdSpace::Private1, static_cast<uint8_t>(id)));
        EXPECT_TRUE(given.insert(out[kSubIdAt]).second) << id;
    }
}

TEST_F(FilterTest, SystemHeaderBoundsCountTheSelectedStreams) {
    lists.video = {0xE0, 0xE1};
    for (int i = 0; i < 6; ++i) lists.audio[static_cast<std::size_t>(i)] = 0x80 + i;
    lists.sub[0] = 0x20;
    select(videoSlot(1));
    select(audioSlot(0));
    select(audioSlot(3));
    select(audioSlot(5));
    select(audioSlot(9));  // checked without a stream: not counted
    select(subSlot(0));
    const Bytes in = pack({systemHeader(6, 2), mpegStream(0xBF)});
    ASSERT_TRUE(run(in));
    EXPECT_EQ(out[23] >> 2, 3) << "audio_bound";
    EXPECT_EQ(out[23] & 0x03, in[23] & 0x03) << "fixed_flag and CSPS_flag";
    EXPECT_EQ(out[24] & 0x1F, 1) << "video_bound";
    EXPECT_EQ(out[24] & 0xE0, in[24] & 0xE0) << "lock flags and marker";
    out[23] = in[23];
    out[24] = in[24];
    EXPECT_EQ(out, in);
}

TEST_F(FilterTest, DataWithoutAPackStartCodeIsDroppedUntouched) {
    Bytes junk = pack({privateStream1(0x80)});
    junk[3] = 0xBB;
    lists.audio[0] = 0x81;
    select(audioSlot(0));
    EXPECT_FALSE(run(junk));
    EXPECT_EQ(out, junk);
    EXPECT_FALSE(run(Bytes(kPack, 0)));
}

// A pack header with stuffing bytes puts the first packet further on: the stream key and the
// system header are read after them.
TEST_F(FilterTest, TheFirstPacketIsFoundAfterThePacksStuffing) {
    auto stuffed = [](Bytes in, std::size_t stuffing) {
        in[13] = static_cast<uint8_t>(0xF8 | stuffing);
        in.insert(in.begin() + 14, stuffing, 0xFF);
        in.resize(kPack);  // the padding packet loses its last bytes; the filter does not care
        return in;
    };
    lists.audio[0] = 0xC3;
    lists.audio[1] = 0x81;
    lists.video[0] = 0xE0;
    select(audioSlot(1));
    EXPECT_FALSE(run(stuffed(pack({privateStream1(0xC3)}), 3)));
    ASSERT_TRUE(run(stuffed(pack({privateStream1(0x81)}), 7)));
    EXPECT_EQ(out[kSubIdAt + 7], 0x80);
    ASSERT_TRUE(run(stuffed(pack({systemHeader(2, 1), mpegStream(0xBF)}), 2)));
    EXPECT_EQ(out[23 + 2] >> 2, 1) << "audio_bound";
    EXPECT_EQ(out[24 + 2] & 0x1F, 0) << "video_bound";
}

// The last pack of a truncated file may end anywhere: the filter reads and writes only the
// bytes it was given (the sanitiser build checks every access), keeps a short pack that still
// starts with a pack start code, and renumbers only an identifier that lies inside it.
TEST_F(FilterTest, ShortPacksOfEveryLengthStayInsideTheirBytes) {
    lists.video = {0x55, 0xE1};
    lists.audio[0] = 0xC1;
    lists.sub[0] = 0x21;
    checked.fill(true);
    struct Case {
        Bytes pack;
        std::size_t idAt;
    };
    const Case cases[] = {
        {pack({privateStream1(0xC1)}), kSubIdAt},
        {pack({privateStream1(0x21)}), kSubIdAt},
        {pack({extendedStream(0x55, true, true)}), extensionAt(true, true)},
        {pack({mpegStream(0xE1)}), kStreamIdAt},
        {pack({systemHeader(3, 2), mpegStream(0xBF)}), 24},
    };
    for (const Case& c : cases) {
        for (std::size_t length = 0; length <= kPack; ++length) {
            renumbering = {};
            Bytes in(c.pack.begin(), c.pack.begin() + static_cast<std::ptrdiff_t>(length));
            Bytes cut = in;  // exactly length bytes, so a read past them is caught
            const bool kept = filterPack(cut.data(), cut.size(), lists, checked, renumbering);
            ASSERT_EQ(kept, length >= 4) << "length " << length;
            if (length <= c.idAt) {
                EXPECT_EQ(cut, in) << "length " << length;
            }
        }
    }
}

}  // namespace
}  // namespace kavrel
