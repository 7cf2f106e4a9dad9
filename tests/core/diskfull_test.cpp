// Demux and rebuild into a disk that fills up, or into a folder that cannot be written: the run
// must end with a clear message and a failure exit, never "Done.", and every byte already
// written must be a true prefix of the complete output.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace kavrel::test;

namespace {

std::string cli() {
    return shellQuote(KAVREL_CLI_PATH);
}

std::map<std::string, std::vector<uint8_t>> filesIn(const fs::path& dir) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

bool isPrefix(const std::vector<uint8_t>& part, const std::vector<uint8_t>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// Runs a command with the file-size limit in KiB; SIGXFSZ is ignored so that writes past the
// limit fail with EFBIG, as they would on a full disk, instead of killing the process.
CommandResult runLimited(const std::string& command, int kib) {
    return runCommand("trap '' XFSZ; ulimit -f " + std::to_string(kib) + "; " + command);
}

// The read run before the demux or rebuild ends with its own "Done."; the failed run after it
// (from its first "Creating" line on) must not.
void expectCleanFailure(const CommandResult& result) {
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    auto creating = result.out.find("Creating ");
    if (creating != std::string::npos) {
        EXPECT_EQ(result.out.find("Done.", creating), std::string::npos) << result.out;
    }
    EXPECT_FALSE(result.err.empty());
}

void expectPrefixes(const fs::path& partialDir, const fs::path& fullDir) {
    auto partial = filesIn(partialDir);
    auto full = filesIn(fullDir);
    ASSERT_FALSE(partial.empty());
    for (const auto& [name, bytes] : partial) {
        ASSERT_TRUE(full.count(name)) << name;
        EXPECT_TRUE(isPrefix(bytes, full[name])) << name << " is not a prefix of the full output";
    }
}

class DiskFull : public ::testing::TestWithParam<std::string> {};

TEST_P(DiskFull, EndsWithAMessageAndKeepsAPrefixOfEveryOutput) {
    const auto& disc = sampleDisc();
    const std::string command = GetParam();
    fs::path full = tempDir("full"), limited = tempDir("limited");
    auto ok = runCommand(cli() + " " + command + " -q -o " + shellQuote(full.string()) + " " +
                         shellQuote(disc.feature1.string()));
    ASSERT_EQ(ok.exitCode, 0) << ok.err;

    auto result = runLimited(cli() + " " + command + " -o " + shellQuote(limited.string()) + " " +
                                 shellQuote(disc.feature1.string()),
                             1024);
    expectCleanFailure(result);
    expectPrefixes(limited, full);
}

TEST_P(DiskFull, OnARealFullFileSystem) {
    const auto& disc = sampleDisc();
    const std::string command = GetParam();
    fs::path full = tempDir("full"), mountPoint = tempDir("tmpfs");
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct Unmount {
        fs::path at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{mountPoint};
    auto ok = runCommand(cli() + " " + command + " -q -o " + shellQuote(full.string()) + " " +
                         shellQuote(disc.feature1.string()));
    auto result = runCommand(cli() + " " + command + " -o " + shellQuote(mountPoint.string()) +
                             " " + shellQuote(disc.feature1.string()));
    expectCleanFailure(result);
    EXPECT_NE(result.err.find("No space left on device"), std::string::npos) << result.err;
    if (ok.exitCode == 0) {
        expectPrefixes(mountPoint, full);
    }
}

TEST_P(DiskFull, AnUncreatableOutputFolderFailsBeforeWriting) {
    const auto& disc = sampleDisc();
    fs::path blocker = tempDir("blocker") / "a-file";
    writeFile(blocker, {1, 2, 3});
    auto result =
        runCommand(cli() + " " + GetParam() + " -o " + shellQuote((blocker / "sub").string()) +
                   " " + shellQuote(disc.feature1.string()));
    expectCleanFailure(result);
    // Refused before the read: one line, nothing on stdout.
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("Cannot use the output folder"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(Runs, DiskFull, ::testing::Values("demux", "rebuild"));

// A WAV cut short by a full disk still says how much audio it holds: its header is patched to
// the whole sample frames written, and a reader gets a true prefix of the samples.
TEST(DiskFullWav, TheHeaderStatesTheFramesTheFileHolds) {
    const auto& disc = sampleDisc();
    fs::path full = tempDir("full-wav"), limited = tempDir("limited-wav");
    const std::string input = shellQuote(disc.surroundAob.string());
    auto ok =
        runCommand(cli() + " demux -q --lpcm wav -o " + shellQuote(full.string()) + " " + input);
    ASSERT_EQ(ok.exitCode, 0) << ok.err;
    auto result = runLimited(
        cli() + " demux --lpcm wav -o " + shellQuote(limited.string()) + " " + input, 1024);
    expectCleanFailure(result);

    const std::string name = "ATS_02_1.LPCM.stream.00.wav";
    const auto cut = readFile(limited / name);
    const auto whole = readFile(full / name);
    ASSERT_GT(cut.size(), 104u);
    ASSERT_LT(cut.size(), whole.size());
    const uint32_t data = le32(cut, 100);  // the data size of the 104-byte extensible header
    EXPECT_EQ(data % 18, 0u) << "whole 6-channel 24-bit frames";
    EXPECT_EQ(104 + data, cut.size());  // nothing after the data chunk
    EXPECT_EQ(le32(cut, 4), 96 + data);
    EXPECT_TRUE(std::equal(cut.begin() + 104, cut.begin() + 104 + data, whole.begin() + 104));
}

}  // namespace
