// The files of a run: the page-aligned read block, inputs that are not regular files or end
// early, outputs that are links, special files or written by another run, and the check that
// an input is a program stream.
#include "engine/io.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <thread>
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

std::string openError(const fs::path& path) {
    try {
        InputFile input(path);
    } catch (const IoError& error) {
        return error.what();
    }
    return {};
}

std::string createError(const fs::path& path) {
    try {
        OutputFile output(path);
    } catch (const IoError& error) {
        return error.what();
    }
    return {};
}

TEST(InputFile, OnlyARegularFileOpensAndNeverWaits) {
    const fs::path dir = test::tempDir("inputs");
    const fs::path fifo = dir / "PIPE.EVO";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A socket file, as a disc image server might leave one.
    const fs::path socketPath = dir / "SOCKET.EVO";
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    // A FIFO without a writer would block a plain open for ever.
    for (const fs::path& path : {fifo, socketPath, fs::path("/dev/zero"), fs::path("/dev/null"),
                                 fs::path("/proc/self/status")}) {
        if (!fs::exists(path)) continue;
        EXPECT_EQ(openError(path), path.string() + " is not a regular file");
    }
    close(sock);
    EXPECT_EQ(openError(dir), "Cannot open " + dir.string() + ": it is a folder, not a file");
    EXPECT_EQ(openError(dir / "MISSING.EVO").rfind("Cannot open ", 0), 0u);

    test::writeFile(dir / "EMPTY.EVO", {});
    EXPECT_EQ(InputFile(dir / "EMPTY.EVO").size(), 0u);
}

TEST(InputFile, AFileThatShrinksWhileReadFailsAtItsNewEnd) {
    const fs::path file = test::tempDir("shrink") / "S.EVO";
    test::writeFile(file, std::vector<uint8_t>(10000, 7));
    InputFile input(file);
    fs::resize_file(file, 6000);
    std::vector<uint8_t> block(4096);
    EXPECT_EQ(input.read(block.data(), block.size()), 4096u);
    EXPECT_EQ(input.read(block.data(), block.size()), 1904u);  // what is left is still read
    try {
        input.read(block.data(), block.size());
        FAIL() << "a read at the new end must fail";
    } catch (const IoError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot read " + file.string() + ": it ended after 6000 of its 10000 bytes");
    }
}

TEST(OutputFile, LinksAndSpecialFilesAreNeverOpened) {
    const fs::path dir = test::tempDir("outputs");
    const std::vector<uint8_t> other{1, 2, 3};
    test::writeFile(dir / "FEATURE_2.EVO", other);
    fs::create_symlink(dir / "FEATURE_2.EVO", dir / "FEATURE_1.rebuilt.EVO");
    fs::create_symlink(dir / "nowhere", dir / "dangling.mpa");
    ASSERT_EQ(mkfifo((dir / "fifo.mpa").c_str(), 0600), 0);

    EXPECT_EQ(
        createError(dir / "FEATURE_1.rebuilt.EVO"),
        "Cannot create " + (dir / "FEATURE_1.rebuilt.EVO").string() + ": it is a symbolic link");
    EXPECT_EQ(test::readFile(dir / "FEATURE_2.EVO"), other);
    EXPECT_NE(createError(dir / "dangling.mpa"), "");
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
    EXPECT_EQ(createError(dir / "fifo.mpa"),
              "Cannot create " + (dir / "fifo.mpa").string() + ": it is not a regular file");
    if (access("/dev/null", W_OK) == 0) {
        EXPECT_EQ(createError("/dev/null"), "Cannot create /dev/null: it is not a regular file");
    }
    // A regular file of that name is replaced.
    test::writeFile(dir / "old.mpv", {9, 9, 9, 9});
    {
        OutputFile output(dir / "old.mpv");
        output.write(other.data(), 2);
        output.close();
    }
    EXPECT_EQ(test::readFile(dir / "old.mpv"), (std::vector<uint8_t>{1, 2}));
}

TEST(OutputFile, ASecondWriterFailsBeforeTruncating) {
    const fs::path file = test::tempDir("locked") / "A.mpa";
    const std::vector<uint8_t> bytes(5000, 0x42);
    auto first = std::make_unique<OutputFile>(file);
    first->write(bytes.data(), bytes.size());
    first->close();
    first = std::make_unique<OutputFile>(file);  // a run writing it now
    first->write(bytes.data(), bytes.size());
    ASSERT_EQ(fs::file_size(file), 0u);  // still in the output's buffer

    EXPECT_EQ(createError(file), "Cannot create " + file.string() + ": another run is writing it");
    first->close();
    EXPECT_EQ(test::readFile(file), bytes);  // the second run truncated nothing
    first.reset();
    EXPECT_EQ(createError(file), "");  // free again once the first run is over
}

TEST(StreamProbe, APackStartCodeInTheFirstMegabytes) {
    const fs::path dir = test::tempDir("probe");
    const std::vector<uint8_t> pack{0x00, 0x00, 0x01, 0xBA, 0x44};
    struct Case {
        const char* name;
        std::size_t leading;  // bytes before the pack start code
        bool withPack;
        const char* error;  // "" when the file is taken
    };
    const Case cases[] = {
        {"PS.VOB", 0, true, ""},
        {"LATE.VOB", kProbeBytes - 4, true, ""},
        {"TOO_LATE.VOB", kProbeBytes - 3, true, "TOO_LATE.VOB is not an MPEG program stream"},
        {"TEXT.VOB", 300, false, "TEXT.VOB is not an MPEG program stream"},
        {"EMPTY.VOB", 0, false, "EMPTY.VOB is empty: there is nothing to read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes(c.leading, 0x20);
        if (c.withPack) bytes.insert(bytes.end(), pack.begin(), pack.end());
        test::writeFile(dir / c.name, bytes);
        std::string error;
        try {
            requireProgramStream(dir / c.name);
        } catch (const IoError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
}  // namespace kavrel
