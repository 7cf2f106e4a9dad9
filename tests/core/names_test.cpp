#include "engine/names.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "engine/run_state.h"
#include "engine/timefmt.h"
#include "tests/support/test_support.h"

namespace kavrel {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

TEST(Names, CutExt) {
    EXPECT_EQ(CutExt("FEATURE_1.EVO"), "FEATURE_1");
    EXPECT_EQ(CutExt("a.b.c"), "a.b");
    EXPECT_EQ(CutExt("NOEXT"), "NOEXT");
    EXPECT_EQ(CutExt(""), "");
    EXPECT_EQ(CutExt(".hidden"), "");
}

TEST(Names, FollowOnFileOnlyWhenItExists) {
    fs::path dir = test::tempDir("getsecond");
    touch(dir / "FEATURE_1.EVO");
    touch(dir / "FEATURE_9.EVO");
    touch(dir / "FEATURE_10.EVO");
    touch(dir / "ABC3_X.EVO");
    touch(dir / "ABC4_X.EVO");
    touch(dir / "MOVIE.EVO");
    touch(dir / "TITLE_A.EVO");
    touch(dir / "LONE_5.VOB");

    // Nothing yet beside FEATURE_1.
    EXPECT_TRUE(getsecond(dir / "FEATURE_1.EVO").empty());
    touch(dir / "FEATURE_2.EVO");
    EXPECT_EQ(getsecond(dir / "FEATURE_1.EVO"), dir / "FEATURE_2.EVO");
    // 9 never carries into two digits, even when such a file exists.
    EXPECT_TRUE(getsecond(dir / "FEATURE_9.EVO").empty());
    // The digit before "_" counts when the one after it does not.
    EXPECT_EQ(getsecond(dir / "ABC3_X.EVO"), dir / "ABC4_X.EVO");
    EXPECT_TRUE(getsecond(dir / "MOVIE.EVO").empty());
    EXPECT_TRUE(getsecond(dir / "TITLE_A.EVO").empty());
    EXPECT_TRUE(getsecond(dir / "LONE_5.VOB").empty());
    // A folder of the follow-on's name is not a follow-on file.
    fs::create_directory(dir / "LONE_6.VOB");
    EXPECT_TRUE(getsecond(dir / "LONE_5.VOB").empty());
    // Names with "_" at either end do not reach outside the name.
    touch(dir / "_1.EVO");
    touch(dir / "_2.EVO");
    EXPECT_EQ(getsecond(dir / "_1.EVO"), dir / "_2.EVO");
    touch(dir / "7_");
    touch(dir / "8_");
    EXPECT_EQ(getsecond(dir / "7_"), dir / "8_");
    touch(dir / "END_");
    EXPECT_TRUE(getsecond(dir / "END_").empty());
}

TEST(Names, TitleSetObjectsGoOnInTheirNextParts) {
    const fs::path dir = test::tempDir("title-set");
    for (const char* name : {"VTS_01_0.VOB", "VTS_01_1.VOB", "VTS_01_2.VOB", "VTS_01_3.VOB",
                             "VTS_11_1.VOB", "VTS_12_1.VOB", "VTS_02_1.VOB", "ats_01_1.aob",
                             "ats_01_2.aob", "FEATURE_1.EVO", "FEATURE_2.EVO", "FEATURE_3.EVO"})
        touch(dir / name);
    const std::pair<const char*, std::vector<fs::path>> cases[] = {
        {"VTS_01_1.VOB", {dir / "VTS_01_2.VOB", dir / "VTS_01_3.VOB"}},
        {"VTS_01_0.VOB", {}},  // the menu
        {"VTS_02_1.VOB", {}},  // never another title set's object
        {"ats_01_1.aob", {dir / "ats_01_2.aob"}},
        {"FEATURE_1.EVO", {dir / "FEATURE_2.EVO"}},  // a feature goes on in one file only
    };
    for (const auto& [input, chain] : cases) EXPECT_EQ(followOnChain(dir / input), chain) << input;
}

TEST(Names, BaseNameAndExtension) {
    EXPECT_EQ(runBaseName("/d/FEATURE_1.EVO", "/d/FEATURE_2.EVO"), "FEATURE_1_FEATURE_2");
    EXPECT_EQ(runBaseName("/d/FEATURE_1.EVO", ""), "FEATURE_1");
    EXPECT_EQ(upperExtension("/d/vts_01_1.vob"), ".VOB");
    EXPECT_EQ(upperExtension("/d/noext"), "");
}

TEST(Names, LabelsAndCaptions) {
    EXPECT_EQ(boxCaption(videoSlot(0), 0x55), "VC-1.stream.0");
    EXPECT_EQ(boxCaption(videoSlot(1), 0xE1), "MPEG-2.stream.1");
    EXPECT_EQ(boxCaption(videoSlot(0), 0xE2), "H.264.stream.0");
    EXPECT_EQ(boxCaption(audioSlot(0), 0xC0), "DD+.stream.00");
    EXPECT_EQ(boxCaption(audioSlot(1), 0x81), "DD.stream.01");
    EXPECT_EQ(boxCaption(audioSlot(2), 0x8A), "DTSHD.stream.02");
    EXPECT_EQ(boxCaption(audioSlot(7), 0xA7), "LPCM.stream.07");
    EXPECT_EQ(boxCaption(audioSlot(3), 0xB3), "MLP.stream.03");
    EXPECT_EQ(boxCaption(audioSlot(15), 0xCF), "DD+.stream.15");
    EXPECT_EQ(boxCaption(subSlot(0), 0x20), "Subpicture.00");
    EXPECT_EQ(boxCaption(subSlot(12), 0x6C), "Ext.Subpicture.12");
    EXPECT_EQ(emptyCaption(videoSlot(1)), "No video stream");
    EXPECT_EQ(emptyCaption(audioSlot(4)), "No audio stream");
    EXPECT_EQ(emptyCaption(subSlot(4)), "No subpicture");
    EXPECT_EQ(streamLabel(StreamKind::Subpicture, -1), "No subpicture stream");
    EXPECT_FALSE(streamLabel(StreamKind::Audio, 0x90).has_value());
    EXPECT_FALSE(streamLabel(StreamKind::Video, 0xC0).has_value());
}

TEST(TimeFormat, ClockAndDuration) {
    EXPECT_EQ(formatDuration(0), "0:00:00.000");
    EXPECT_EQ(formatDuration(3723.5), "1:02:03.500");
    EXPECT_EQ(formatDuration(59.9996), "0:01:00.000");  // rounding carries into the minutes
    EXPECT_EQ(formatDuration(100 * 3600.0), "100:00:00.000");
    EXPECT_EQ(formatClock(3723.9), "1:02:03");
    // Nonsense from a damaged stream never prints as garbage.
    EXPECT_EQ(formatDuration(-5), "0:00:00.000");
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::quiet_NaN()), "0:00:00.000");
    EXPECT_EQ(formatDuration(std::numeric_limits<double>::infinity()), "0:00:00.000");
}

}  // namespace
}  // namespace kavrel
