// The PES header parser over every combination of optional fields: the time stamps and the
// place of stream_id_extension come out right whatever comes before them, and a header cut
// anywhere is never read past its end.
#include <gtest/gtest.h>

#include <vector>

#include "engine/pes_header.h"
#include "tests/support/ps_builder.h"

namespace kavrel {
namespace {

using test::Bytes;

using test::putTimeStamp;

constexpr uint64_t kPts = 0x1ABCDEF12;  // 33 bits: the parser keeps the low 32
constexpr uint64_t kDts = 0x012345678;

// The header data for the flags: every field present is filled with zero bytes, so that a
// field skipped by a wrong length reads as "no extension" and the test sees it.
struct Header {
    uint8_t flags;
    Bytes data;
};

Header build(int ptsDts, unsigned optional, unsigned extensionFlags, bool extension) {
    Header h{static_cast<uint8_t>(ptsDts << 6 | optional << 1 | (extension ? 1 : 0)), {}};
    if (ptsDts >= 2) putTimeStamp(h.data, ptsDts == 3 ? 3 : 2, kPts);
    if (ptsDts == 3) putTimeStamp(h.data, 1, kDts);
    // ESCR, ES rate, trick mode, copy info, previous CRC: flag bits 4 … 0 of `optional`.
    const std::size_t optionalSizes[] = {6, 3, 1, 1, 2};
    for (int field = 0; field < 5; ++field)
        if (optional & (0x10u >> field)) h.data.insert(h.data.end(), optionalSizes[field], 0);
    if (!extension) return h;
    h.data.push_back(static_cast<uint8_t>(extensionFlags << 4 | 0x0E | 0x01));
    if (extensionFlags & 0x8) h.data.insert(h.data.end(), 16, 0);         // private data
    if (extensionFlags & 0x4) h.data.insert(h.data.end(), {3, 0, 0, 0});  // pack header
    if (extensionFlags & 0x2) h.data.insert(h.data.end(), {0x80, 0x80});  // sequence counter
    if (extensionFlags & 0x1) h.data.insert(h.data.end(), {0x60, 0xE8});  // P-STD buffer
    h.data.insert(h.data.end(), {0x81, 0x55});  // marker and field length, stream_id_extension
    return h;
}

TEST(PesHeader, EveryFlagCombination) {
    int cases = 0;
    for (int ptsDts = 0; ptsDts < 4; ++ptsDts) {
        for (unsigned optional = 0; optional < 32; ++optional) {
            for (unsigned extensionFlags = 0; extensionFlags < 16; ++extensionFlags) {
                for (bool extension : {false, true}) {
                    if (!extension && extensionFlags) continue;
                    const Header h = build(ptsDts, optional, extensionFlags, extension);
                    SCOPED_TRACE(testing::Message() << "flags " << std::hex << int{h.flags}
                                                    << " extension flags " << extensionFlags);
                    ++cases;
                    const PesHeaderFields f = parsePesHeaderData(h.flags, h.data);
                    // '01' is forbidden and carries nothing.
                    EXPECT_EQ(f.hasPts, ptsDts >= 2);
                    EXPECT_EQ(f.hasDts, ptsDts == 3);
                    EXPECT_EQ(f.pts, f.hasPts ? static_cast<uint32_t>(kPts) : 0u);
                    EXPECT_EQ(f.dts, f.hasDts ? static_cast<uint32_t>(kDts) : 0u);
                    if (extension)
                        ASSERT_EQ(f.streamIdExtensionAt, static_cast<int>(h.data.size()) - 1);
                    else
                        EXPECT_EQ(f.streamIdExtensionAt, -1);

                    // Cut short anywhere: the parser reads only what it was given, and finds
                    // only the time stamps the cut left whole.
                    for (std::size_t cut = 0; cut < h.data.size(); ++cut) {
                        const Bytes part(h.data.begin(), h.data.begin() + cut);
                        const PesHeaderFields p = parsePesHeaderData(h.flags, part);
                        EXPECT_EQ(p.streamIdExtensionAt, -1) << cut;
                        EXPECT_EQ(p.hasPts, ptsDts >= 2 && cut >= 5) << cut;
                        EXPECT_EQ(p.hasDts, ptsDts == 3 && cut >= 10) << cut;
                    }
                }
            }
        }
    }
    EXPECT_EQ(cases, 4 * 32 * 17);
}

TEST(PesHeader, PackAndPacketPlaces) {
    uint8_t pack[kPackHeaderSize] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0,    4,
                                     0,    4,    1,    1,    0x89, 0xC3, 0xF8};
    EXPECT_EQ(firstPacketAt(pack), kPackHeaderSize);
    pack[kPackStuffingAt] = 0xFD;  // reserved bits, then 5 stuffing bytes
    EXPECT_EQ(firstPacketAt(pack), kPackHeaderSize + 5);
}

}  // namespace
}  // namespace kavrel
