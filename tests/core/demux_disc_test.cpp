// The scanner over the generated sample disc: what a read must announce and report for each
// file, and what a demux of every stream must write, as the generator recorded them.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "engine/names.h"
#include "tests/support/ps_builder.h"

namespace kavrel::test {
namespace {

namespace fs = std::filesystem;

int slotOf(const mkdisc::StreamEntry& entry) {
    if (entry.kind == "video") return videoSlot(entry.number);
    if (entry.kind == "audio") return audioSlot(entry.number);
    return subSlot(entry.number);
}

std::string hex(uint32_t value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The inputs of one demux: a file, or a feature and its follow-on file.
std::vector<fs::path> inputsOf(const mkdisc::Layout& disc) {
    return {disc.feature1, disc.vob,     disc.aob,     disc.surroundAob,
            disc.mixedAob, disc.h264Evo, disc.mpeg2Evo};
}

std::vector<fs::path> withFollowOn(const fs::path& input) {
    std::vector<fs::path> files = {input};
    const fs::path second = getsecond(input);
    if (!second.empty()) files.push_back(second);
    return files;
}

TEST(DemuxDisc, ReadAnnouncesAndReportsEveryStream) {
    const mkdisc::Layout& disc = sampleDisc();
    for (const fs::path& input : inputsOf(disc)) {
        for (const fs::path& file : withFollowOn(input)) {
            ScanRun scan;
            scan.run(file, ScanMode::Read);
            const std::string name = file.filename().string();
            for (const mkdisc::StreamEntry& entry : disc.streams) {
                if (entry.file != name) continue;
                SCOPED_TRACE(name + " " + entry.caption);
                const int32_t found = entry.kind == "video"   ? scan.state.foundVideo[entry.number]
                                      : entry.kind == "audio" ? scan.state.foundAudio[entry.number]
                                                              : scan.state.foundSub[entry.number];
                EXPECT_EQ(found, entry.id);
                const std::string report = "   First PTS = " + hex(entry.firstPts, 8) +
                                           "\n   Substream id = " + hex(entry.id, 2) + "\n";
                EXPECT_NE(scan.host.text().find(report), std::string::npos) << scan.host.text();
                if (entry.kind == "video") {
                    EXPECT_EQ(scan.state.frameCounters[entry.number],
                              static_cast<int32_t>(entry.units));
                }
            }
            if (file.extension() != ".AOB") {
                EXPECT_TRUE(scan.host.hasLineContaining("VOB number")) << name;
            }
        }
    }
}

TEST(DemuxDisc, DemuxWritesWhatTheGeneratorExpects) {
    const mkdisc::Layout& disc = sampleDisc();
    ASSERT_FALSE(disc.expectedDir.empty());
    for (const fs::path& input : inputsOf(disc)) {
        const std::vector<fs::path> files = withFollowOn(input);
        ScanRun scan;
        scan.state.resetRunCounters();
        for (const fs::path& file : files)
            scan.run(file, ScanMode::Read);  // the read run before the demux
        std::map<int, fs::path> expected;
        for (const mkdisc::StreamEntry& entry : disc.streams)
            for (const fs::path& file : files)
                if (entry.file == file.filename().string() && !entry.expected.empty())
                    expected[slotOf(entry)] = entry.expected;
        ASSERT_FALSE(expected.empty()) << input;
        for (const auto& [slot, path] : expected) {
            scan.options.checked[static_cast<std::size_t>(slot)] = true;
            scan.slots.open(slot);
        }
        scan.options.chunkSize = kChunkSize;
        for (const fs::path& file : files) scan.run(file, ScanMode::Demux);
        for (const auto& [slot, path] : expected)
            EXPECT_TRUE(scan.slots.data(slot) == readFile(path)) << path;
    }
}

}  // namespace
}  // namespace kavrel::test
