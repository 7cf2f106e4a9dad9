// The page-aligned read block that the scanner and the rebuild read into.
#include "engine/io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kavrel {
namespace {

TEST(PageAlignedBlock, StartsOnAPageAndFitsInsideTheBuffer) {
    for (const std::size_t size : {std::size_t{1}, std::size_t{2048}, std::size_t{256 * 1024}}) {
        std::vector<uint8_t> buffer;
        uint8_t* block = pageAlignedBlock(buffer, size);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4096, 0u) << size;
        EXPECT_GE(block, buffer.data());
        EXPECT_LE(block + size, buffer.data() + buffer.size()) << size;
    }
}

TEST(PageAlignedBlock, KeepsTheBufferWhenItIsLargeEnough) {
    // The scanner asks again for each run: the block must stay where it was, and a smaller
    // request must not shrink the buffer under it.
    std::vector<uint8_t> buffer;
    uint8_t* first = pageAlignedBlock(buffer, 64 * 1024);
    const std::size_t kept = buffer.size();
    EXPECT_EQ(pageAlignedBlock(buffer, 64 * 1024), first);
    EXPECT_EQ(pageAlignedBlock(buffer, 4096), first);
    EXPECT_EQ(buffer.size(), kept);

    // A larger request grows the buffer and still gives an aligned block that fits.
    uint8_t* grown = pageAlignedBlock(buffer, 1024 * 1024);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(grown) % 4096, 0u);
    EXPECT_LE(grown + 1024 * 1024, buffer.data() + buffer.size());
}

}  // namespace
}  // namespace kavrel
