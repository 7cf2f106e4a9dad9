// The files of a run: the page-aligned read block, inputs that are not regular files or end
// early, outputs that are links, special files or written by another run, and the check that
// an input is a program stream.
#include "engine/io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/stream_probe.h"
#include "tests/support/test_support.h"

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

namespace fs = std::filesystem;

template <typename Open>
std::string errorOf(Open open) {
    try {
        open();
    } catch (const IoError& error) {
        return error.what();
    }
    return {};
}

TEST(RunFiles, InputsThatAreNotRegularFilesAreRefusedWithoutWaiting) {
    const fs::path fifo = test::tempDir("inputs") / "PIPE.EVO";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no writer: a plain open would wait for one
    // /proc files say they are empty and still hold bytes.
    for (const fs::path& path : {fifo, fs::path("/dev/zero"), fs::path("/proc/self/status")})
        EXPECT_EQ(errorOf([&] { InputFile input(path); }),
                  path.string() + " is not a regular file");
}

TEST(RunFiles, OutputsNeverFollowLinksNorOpenSpecialFiles) {
    const fs::path dir = test::tempDir("outputs");
    const std::vector<uint8_t> other{1, 2, 3};
    test::writeFile(dir / "FEATURE_2.EVO", other);
    fs::create_symlink(dir / "FEATURE_2.EVO", dir / "FEATURE_1.rebuilt.EVO");
    ASSERT_EQ(mkfifo((dir / "fifo.mpa").c_str(), 0600), 0);
    auto create = [&](const fs::path& path) { return errorOf([&] { OutputFile out(path); }); };
    EXPECT_EQ(
        create(dir / "FEATURE_1.rebuilt.EVO"),
        "Cannot create " + (dir / "FEATURE_1.rebuilt.EVO").string() + ": it is a symbolic link");
    EXPECT_EQ(test::readFile(dir / "FEATURE_2.EVO"), other);
    EXPECT_EQ(create(dir / "fifo.mpa"),
              "Cannot create " + (dir / "fifo.mpa").string() + ": it is not a regular file");
    EXPECT_EQ(create("/dev/null"), "Cannot create /dev/null: it is not a regular file");

    // A second run on an output that is being written fails before it empties it.
    auto first = std::make_unique<OutputFile>(dir / "FEATURE_2.EVO");
    first->write(other.data(), 2);
    EXPECT_EQ(create(dir / "FEATURE_2.EVO"),
              "Cannot create " + (dir / "FEATURE_2.EVO").string() + ": another run is writing it");
    first->close();
    EXPECT_EQ(test::readFile(dir / "FEATURE_2.EVO"), (std::vector<uint8_t>{1, 2}));
    first.reset();
    EXPECT_EQ(create(dir / "FEATURE_2.EVO"), "");  // free once that run let go
}

TEST(RunFiles, AProgramStreamHasAPackStartCodeInItsFirstMegabytes) {
    const fs::path dir = test::tempDir("probe");
    struct Case {
        const char* name;
        std::size_t leading;  // bytes before the pack start code; none when npos
        std::string error;
    };
    const std::size_t none = std::string::npos;
    for (const Case& c : {Case{"PS.VOB", 0, ""}, Case{"LATE.VOB", kProbeBytes - 4, ""},
                          Case{"ACROSS.VOB", 64 * 1024 - 2, ""},
                          Case{"TOO_LATE.VOB", kProbeBytes - 3, " is not an MPEG program stream"},
                          Case{"TEXT.VOB", none, " is not an MPEG program stream"}}) {
        std::vector<uint8_t> bytes(c.leading == none ? 300 : c.leading, 0x20);
        if (c.leading != none) bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0xBA, 0x44});
        test::writeFile(dir / c.name, bytes);
        EXPECT_EQ(errorOf([&] { requireProgramStream(dir / c.name); }),
                  c.error.empty() ? "" : c.name + c.error);
    }
}

TEST(TitleInput, ReadsItsRangesAsOneInputAndRefusesRangesPastAFile) {
    const fs::path dir = test::tempDir("title");
    std::vector<uint8_t> first(5000), second(3000);
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(i);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<uint8_t>(i * 7);
    test::writeFile(dir / "VTS_01_1.VOB", first);
    test::writeFile(dir / "VTS_01_2.VOB", second);
    // Cells out of file order, one running on from the end of the first file into the second.
    InputFile title(std::vector<ByteRange>{{dir / "VTS_01_2.VOB", 1000, 500},
                                           {dir / "VTS_01_1.VOB", 4000, 1000},
                                           {dir / "VTS_01_2.VOB", 0, 700}});
    EXPECT_EQ(title.size(), 2200u);
    std::vector<uint8_t> got(4096);
    std::size_t n = 0;
    for (std::size_t step; (step = title.read(got.data() + n, 333)) > 0;) n += step;
    got.resize(n);
    std::vector<uint8_t> want(second.begin() + 1000, second.begin() + 1500);
    want.insert(want.end(), first.begin() + 4000, first.end());
    want.insert(want.end(), second.begin(), second.begin() + 700);
    EXPECT_EQ(got, want);
    EXPECT_EQ(title.position(), 2200u);
    EXPECT_EQ(title.path(), dir / "VTS_01_2.VOB");

    EXPECT_NE(errorOf([&] {
                  InputFile past(std::vector<ByteRange>{{dir / "VTS_01_2.VOB", 2048, 2048}});
              }).find("past its end"),
              std::string::npos);
    EXPECT_FALSE(errorOf([&] { InputFile none(std::vector<ByteRange>{}); }).empty());
}

TEST(OutputFile, PatchesEarlierBytesAndSaysWhatItHolds) {
    const fs::path path = test::tempDir("io") / "out";
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
    const std::vector<uint8_t> bytes = test::readFile(path);
    ASSERT_EQ(bytes.size(), 300020u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2, bytes.begin() + 10),
              (std::vector<uint8_t>{0xAA, 0xAA, 1, 2, 3, 4, 0xAA, 0xAA}));
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 6, bytes.end()),
              (std::vector<uint8_t>{0x55, 0x55, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace kavrel
