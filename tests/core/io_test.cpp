// The page-aligned read block that the scanner and the rebuild read into.
#include "engine/io.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
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

TEST(OutputFile, PatchesEarlierBytesAndSaysWhatItHolds) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kavrel-io-" + std::to_string(getpid()));
    {
        OutputFile file(path);
        const std::vector<uint8_t> head(16, 0xAA), body(300000, 0x55), patch = {1, 2, 3, 4};
        file.write(head.data(), head.size());
        file.write(body.data(), body.size());
        file.writeAt(4, patch.data(), patch.size());
        EXPECT_EQ(file.lengthOnDisk(), 300016u);
        file.write(patch.data(), patch.size());
        file.close();
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    ASSERT_EQ(bytes.size(), 300020u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2, bytes.begin() + 10),
              (std::vector<uint8_t>{0xAA, 0xAA, 1, 2, 3, 4, 0xAA, 0xAA}));
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 6, bytes.end()),
              (std::vector<uint8_t>{0x55, 0x55, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace kavrel
