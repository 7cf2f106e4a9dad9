// The rebuild run on small hand-built inputs: output naming and placement, the follow-on
// file, the log and status texts, progress and Cancel, and every failure path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/names.h"
#include "rebuild/rebuild.h"
#include "tests/core/rebuild_packs.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;
using namespace rebuildtest;
using test::RecordingHost;

// A stream of count packs cycling through a navigation pack, video 0xE1, audio 0xC3 and 0x81.
Bytes packs(std::size_t count) {
    const Bytes cycle[] = {
        pack({systemHeader(2, 1), mpegStream(0xBF)}),
        pack({mpegStream(0xE1)}),
        pack({privateStream1(0xC3)}),
        pack({privateStream1(0x81)}),
    };
    Bytes all;
    for (std::size_t i = 0; i < count; ++i) append(all, cycle[i % 4]);
    return all;
}

class RebuildRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::tempDir("rebuild-run");
        state.lists.video[1] = 0xE1;
        state.lists.audio[3] = 0xC3;
        state.lists.audio[1] = 0x81;
        options.scan.checked[videoSlot(1)] = true;
        options.scan.checked[audioSlot(3)] = true;  // 0x81 is dropped
    }

    RunState state;
    RunOptions options;
    RecordingHost host;
    fs::path dir;
};

TEST_F(RebuildRunTest, FeatureAndFollowOnGoIntoOneFileBesideTheInput) {
    test::writeFile(dir / "FEATURE_1.EVO", packs(8));
    test::writeFile(dir / "FEATURE_2.EVO", packs(4));
    ASSERT_EQ(rebuildRun(dir / "FEATURE_1.EVO", state, options, host), RunOutcome::Done);

    const fs::path out = dir / "FEATURE_1_FEATURE_2.rebuilt.EVO";
    const std::vector<std::string> expected = {"Opening file FEATURE_1.EVO",
                                               "File size: 0 Mbytes.",
                                               "Creating " + out.string(),
                                               "Continue on FEATURE_2.EVO",
                                               "Done.",
                                               ""};
    EXPECT_EQ(host.lines, expected);
    EXPECT_EQ(host.status[0], (std::vector<std::string>{"Opening", "Rebuilding FEATURE_1.EVO",
                                                        "Rebuilding FEATURE_2.EVO", "Ready"}));
    ASSERT_FALSE(host.status[1].empty());
    EXPECT_EQ(host.status[1].back(), "");

    // Three of every four packs kept, renumbered alike in both files.
    const Bytes written = test::readFile(out);
    ASSERT_EQ(written.size(), 9 * kPack);
    for (std::size_t at = 0; at < written.size(); at += kPack) {
        const uint8_t id = written[at + kStreamIdAt];
        if (id == 0xE0) continue;
        if (id == 0xBD) {
            EXPECT_EQ(written[at + kSubIdAt], 0xC0);
        } else {
            EXPECT_EQ(id, 0xBB);
            EXPECT_EQ(written[at + 23] >> 2, 1);
            EXPECT_EQ(written[at + 24] & 0x1F, 1);
        }
    }
}

TEST_F(RebuildRunTest, WithoutContinueOnlyTheInputIsRebuiltIntoTheWorkFolder) {
    test::writeFile(dir / "FEATURE_1.EVO", packs(4));
    test::writeFile(dir / "FEATURE_2.EVO", packs(4));
    options.cont = false;
    options.workdir = dir / "work";
    fs::create_directory(options.workdir);
    ASSERT_EQ(rebuildRun(dir / "FEATURE_1.EVO", state, options, host), RunOutcome::Done);
    EXPECT_EQ(test::readFile(options.workdir / "FEATURE_1.rebuilt.EVO").size(), 3 * kPack);
    EXPECT_FALSE(host.hasLineContaining("Continue on"));
    EXPECT_FALSE(fs::exists(dir / "FEATURE_1_FEATURE_2.rebuilt.EVO"));
}

TEST_F(RebuildRunTest, NonPackDataIsDroppedAndAShortLastPackIsWrittenAsRead) {
    Bytes in = packs(2);
    append(in, Bytes(kPack, 0x00));  // a zeroed sector: no pack start code
    append(in, packs(1));
    const Bytes tail = packs(2);
    in.insert(in.end(), tail.begin() + kPack, tail.begin() + kPack + 1000);  // a cut video pack
    test::writeFile(dir / "CUT.EVO", in);
    ASSERT_EQ(rebuildRun(dir / "CUT.EVO", state, options, host), RunOutcome::Done);

    const Bytes written = test::readFile(dir / "CUT.rebuilt.EVO");
    ASSERT_EQ(written.size(), 3 * kPack + 1000);
    Bytes last(written.end() - 1000, written.end());
    Bytes expected(tail.begin() + kPack, tail.begin() + kPack + 1000);
    expected[kStreamIdAt] = 0xE0;
    EXPECT_EQ(last, expected);
}

// Kept packs of packs(count) from pack `from` on: every pack but the 0x81 ones.
std::size_t keptFrom(std::size_t from, std::size_t count) {
    std::size_t kept = 0;
    for (std::size_t i = from; i < count; ++i) kept += i % 4 != 3;
    return kept;
}

// A damaged copy whose packs slipped by a byte, or that starts with data that is no pack, is
// rebuilt from the next pack start code on, in pack steps from there; what the slip broke is
// lost, nothing more.
TEST_F(RebuildRunTest, PacksOutOfStepAreFoundAgain) {
    constexpr std::size_t kCount = 300;  // more than one read block, so packs straddle blocks
    const Bytes clean = packs(kCount);
    test::writeFile(dir / "CLEAN.EVO", clean);
    ASSERT_EQ(rebuildRun(dir / "CLEAN.EVO", state, options, host), RunOutcome::Done);
    const Bytes reference = test::readFile(dir / "CLEAN.rebuilt.EVO");
    ASSERT_EQ(reference.size(), keptFrom(0, kCount) * kPack);

    struct Case {
        const char* name;
        Bytes input;
        std::size_t headPacks;  // packs before the damage, rebuilt as in the clean copy
        std::size_t tailFrom;   // the first pack after it that is rebuilt as in the clean copy
    };
    Bytes lost = clean, extra = clean, zeros(1000, 0);
    lost.erase(lost.begin() + 150 * kPack + 700);
    extra.insert(extra.begin() + 150 * kPack + 700, 0x47);
    zeros.insert(zeros.end(), clean.begin(), clean.end());
    const Case cases[] = {
        {"LEAD.EVO", zeros, 0, 0}, {"LOST.EVO", lost, 150, 152}, {"EXTRA.EVO", extra, 150, 151}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(dir / c.name, c.input);
        RecordingHost run;
        ASSERT_EQ(rebuildRun(dir / c.name, state, options, run), RunOutcome::Done);
        const Bytes out = test::readFile(dir / (CutExt(c.name) + ".rebuilt.EVO"));
        const std::size_t head = keptFrom(0, c.headPacks) * kPack;
        const std::size_t tail = keptFrom(c.tailFrom, kCount) * kPack;
        ASSERT_GE(out.size(), head + tail);
        EXPECT_TRUE(std::equal(reference.begin(), reference.begin() + head, out.begin()));
        EXPECT_TRUE(std::equal(reference.end() - tail, reference.end(), out.end() - tail));
        EXPECT_LE(out.size(), reference.size() + kPack);
    }
}

TEST_F(RebuildRunTest, AnInputWithoutAnyPackFails) {
    Bytes noise(300 * 1024);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 131 + 7);
    test::writeFile(dir / "NOISE.EVO", noise);
    EXPECT_EQ(rebuildRun(dir / "NOISE.EVO", state, options, host), RunOutcome::Failed);
    EXPECT_FALSE(host.hasLine("Done."));
    EXPECT_TRUE(host.hasLineContaining("NOISE.EVO is not an MPEG program stream"));
    EXPECT_EQ(host.status[0].back(), "Ready");

    // The follow-on file too: the first file's packs stay written.
    test::writeFile(dir / "F_1.EVO", packs(4));
    test::writeFile(dir / "F_2.EVO", Bytes(5000, 0));
    RecordingHost second;
    EXPECT_EQ(rebuildRun(dir / "F_1.EVO", state, options, second), RunOutcome::Failed);
    EXPECT_TRUE(second.hasLineContaining("F_2.EVO is not an MPEG program stream"));
    EXPECT_EQ(test::readFile(dir / "F_1_F_2.rebuilt.EVO").size(), 3 * kPack);
}

using test::CancellingHost;

TEST_F(RebuildRunTest, ProgressEveryFourMebibytesAndCancelKeepsWholePacks) {
    // 4 MiB and a few packs; FEATURE_2 must be skipped after the cancel.
    constexpr std::size_t kCount = 2048 + 5;
    test::writeFile(dir / "FEATURE_1.EVO", packs(kCount));
    test::writeFile(dir / "FEATURE_2.EVO", packs(4));

    RecordingHost full;
    options.workdir = dir / "full";
    fs::create_directory(options.workdir);
    ASSERT_EQ(rebuildRun(dir / "FEATURE_1.EVO", state, options, full), RunOutcome::Done);
    EXPECT_EQ(full.pumps, 1);
    ASSERT_FALSE(full.status[1].empty());
    const std::string progress = full.status[1].front();
    EXPECT_EQ(progress.rfind("Rebuilding FEATURE_1.EVO 4/4 Mbytes, Remaining time: 0:00:0", 0), 0u)
        << progress;

    CancellingHost cancelling(state);
    options.workdir = dir / "cancelled";
    fs::create_directory(options.workdir);
    ASSERT_EQ(rebuildRun(dir / "FEATURE_1.EVO", state, options, cancelling), RunOutcome::Cancelled);
    EXPECT_FALSE(cancelling.hasLineContaining("Continue on"));
    EXPECT_FALSE(cancelling.hasLine("Done."));
    EXPECT_TRUE(cancelling.hasLine("Cancelled."));

    // The cancelled output is the full output up to the pack that ended at 4 MiB.
    const Bytes whole = test::readFile(dir / "full" / "FEATURE_1_FEATURE_2.rebuilt.EVO");
    const Bytes part = test::readFile(dir / "cancelled" / "FEATURE_1_FEATURE_2.rebuilt.EVO");
    EXPECT_EQ(part.size(), 2048 / 4 * 3 * kPack);
    ASSERT_LE(part.size(), whole.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));
}

// A stop inside a read block (packs out of step with the blocks after damage) ends the run
// after that pack; the rest of the block is never carried over.
TEST_F(RebuildRunTest, AStopAnywhereInABlockKeepsAWholePackPrefix) {
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        Bytes in = packs(2048 + 130);  // a progress report at 4 MiB, then more than a block
        in.insert(in.begin() + random() % (2048 * kPack), random() % (kPack - 1) + 1, 0x5A);
        test::writeFile(dir / "CUT.EVO", in);
        ASSERT_EQ(rebuildRun(dir / "CUT.EVO", state, options, host), RunOutcome::Done);
        const Bytes whole = test::readFile(dir / "CUT.rebuilt.EVO");
        CancellingHost cancelling(state);
        ASSERT_EQ(rebuildRun(dir / "CUT.EVO", state, options, cancelling), RunOutcome::Cancelled);
        const Bytes part = test::readFile(dir / "CUT.rebuilt.EVO");
        EXPECT_EQ(part.size() % kPack, 0u) << round;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << round;
    }
}

TEST_F(RebuildRunTest, AnInputThatShrinksWhileReadFailsAndKeepsWhatWasWritten) {
    constexpr std::size_t kCount = 2048 + 1024;  // 6 MiB: a progress report at 4 MiB
    test::writeFile(dir / "CUT.EVO", packs(kCount));
    test::ShrinkingHost shrinking(dir / "CUT.EVO", 5 * 1024 * 1024);
    EXPECT_EQ(rebuildRun(dir / "CUT.EVO", state, options, shrinking), RunOutcome::Failed);
    EXPECT_EQ(shrinking.lines.back(), "Error: Cannot read " + (dir / "CUT.EVO").string() +
                                          ": it ended after 5242880 of its 6291456 bytes");
    EXPECT_FALSE(shrinking.hasLine("Done."));
    // Every pack read before the end came is in the output: three of each four are kept.
    EXPECT_EQ(fs::file_size(dir / "CUT.rebuilt.EVO"), 5 * 1024 * 1024 / 4 * 3);
}

TEST_F(RebuildRunTest, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsWritten) {
    const Bytes in = packs(4);
    test::writeFile(dir / "A.EVO", in);
    options.workdir = dir / "work";
    fs::create_directory(options.workdir);
    fs::create_symlink(dir / "A.EVO", options.workdir / "A.rebuilt.EVO");
    EXPECT_EQ(rebuildRun(dir / "A.EVO", state, options, host), RunOutcome::Failed);
    EXPECT_EQ(test::readFile(dir / "A.EVO"), in);
    EXPECT_FALSE(host.hasLine("Done."));
    EXPECT_TRUE(host.hasLineContaining("it is an input file of this run"));

    // The follow-on file is an input too: a hard link to it in place of the output.
    test::writeFile(dir / "B_1.EVO", in);
    test::writeFile(dir / "B_2.EVO", in);
    fs::create_hard_link(dir / "B_2.EVO", options.workdir / "B_1_B_2.rebuilt.EVO");
    RecordingHost second;
    EXPECT_EQ(rebuildRun(dir / "B_1.EVO", state, options, second), RunOutcome::Failed);
    EXPECT_EQ(test::readFile(dir / "B_2.EVO"), in);
}

TEST_F(RebuildRunTest, FailuresAreReportedInRedAndNeverAsDone) {
    // The input is missing: nothing is created.
    EXPECT_EQ(rebuildRun(dir / "MISSING.EVO", state, options, host), RunOutcome::Failed);
    ASSERT_FALSE(host.markup.empty());
    EXPECT_EQ(host.markup.back().rfind("[re]Error: Cannot open", 0), 0u) << host.markup.back();
    EXPECT_FALSE(host.hasLine("Done."));
    EXPECT_FALSE(fs::exists(dir / "MISSING.rebuilt.EVO"));
    EXPECT_EQ(host.status[0].back(), "Ready");

    // The work folder does not exist.
    test::writeFile(dir / "A.EVO", packs(4));
    options.workdir = dir / "nowhere";
    RecordingHost noFolder;
    EXPECT_EQ(rebuildRun(dir / "A.EVO", state, options, noFolder), RunOutcome::Failed);
    EXPECT_TRUE(noFolder.hasLineContaining("Error: Cannot create"));
    EXPECT_FALSE(noFolder.hasLine("Done."));

    // The disk is full: the output may not grow past one pack.
    {
        options.workdir = dir / "full";
        fs::create_directory(options.workdir);
        test::FileSizeLimit limit(kPack);
        RecordingHost diskFull;
        EXPECT_EQ(rebuildRun(dir / "A.EVO", state, options, diskFull), RunOutcome::Failed);
        EXPECT_TRUE(diskFull.hasLineContaining("Error: Cannot write"));
        EXPECT_FALSE(diskFull.hasLine("Done."));
    }
}

}  // namespace
}  // namespace kavrel
