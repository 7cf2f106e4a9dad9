// Reading a playlist file: the log, the status line, files that cannot be read, and the
// command line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/runs.h"
#include "playlist/playlist.h"
#include "tests/support/test_support.h"
#include "tools/mkdisc/sample_playlist.h"

namespace kavrel::playlist {
namespace {

namespace fs = std::filesystem;
using test::RecordingHost;

fs::path writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return path;
}

fs::path samplePlaylistFile() {
    static const fs::path path =
        writeText(test::tempDir("xpl") / "VPLST000.XPL", mkdisc::samplePlaylist());
    return path;
}

std::string cli(const std::string& arguments) {
    return std::string(KAVREL_CLI_PATH) + " xpl " + arguments;
}

TEST(ReadPlaylist, LogsTheReadAndEndsReady) {
    RecordingHost host;
    const std::string size = std::to_string(fs::file_size(samplePlaylistFile()));
    auto playlist = readPlaylist(samplePlaylistFile(), "FEATURE_1", host);
    ASSERT_TRUE(playlist);
    EXPECT_TRUE(playlist->titleFound);
    ASSERT_GE(host.lines.size(), 4u);
    EXPECT_EQ(host.lines[0], "Open VPLST000.XPL");
    EXPECT_EQ(host.lines[1], "Filesize: " + size + " bytes");
    EXPECT_EQ(host.lines[2], "VC-1.stream.0 found!");
    EXPECT_TRUE(host.hasLine("DD+.6ch.stream.00.en found!"));
    EXPECT_EQ(host.lines[host.lines.size() - 2], "Done.");
    EXPECT_EQ(host.lines.back(), "");
    EXPECT_EQ(host.status[1], (std::vector<std::string>{size + "/" + size + " bytes", ""}));
    EXPECT_EQ(host.status[0], (std::vector<std::string>{"Ready"}));
}

TEST(ReadPlaylist, ReadsLargePlaylistsInChunks) {
    // A comment larger than a chunk ahead of the sample: the progress shows each chunk, and
    // the result is that of the whole text.
    std::string text = mkdisc::samplePlaylist();
    text.insert(text.find("<Playlist"), "<!-- " + std::string(600000, '=') + " -->\n");
    fs::path path = writeText(test::tempDir("xpl") / "big.xpl", text);
    RecordingHost host;
    auto playlist = readPlaylist(path, "FEATURE_2", host);
    ASSERT_TRUE(playlist);
    const std::string size = std::to_string(text.size());
    EXPECT_EQ(host.status[1],
              (std::vector<std::string>{"262144/" + size + " bytes", "524288/" + size + " bytes",
                                        size + "/" + size + " bytes", ""}));
    Playlist direct = scanPlaylist(text, "FEATURE_2");
    EXPECT_EQ(playlist->memo, direct.memo);
    EXPECT_EQ(playlist->offers.size(), 8u);
}

TEST(ReadPlaylist, UnreadableFilesAreReportedInRed) {
    const fs::path dir = test::tempDir("xpl");
    const fs::path tooLarge = dir / "large.xpl";
    { std::ofstream(tooLarge).put('<'); }
    fs::resize_file(tooLarge, kMaxPlaylistBytes + 1);
    for (const fs::path& path : {dir / "missing.xpl", dir, tooLarge}) {
        RecordingHost host;
        EXPECT_FALSE(readPlaylist(path, "FEATURE_1", host)) << path;
        ASSERT_FALSE(host.markup.empty());
        bool red = false;
        for (const std::string& line : host.markup) red = red || line.starts_with("[re]");
        EXPECT_TRUE(red) << host.text();
        EXPECT_FALSE(host.hasLine("Done."));
        EXPECT_EQ(host.status[0].back(), "Ready");
        EXPECT_EQ(host.status[1].back(), "");
    }
}

TEST(ReadPlaylist, DamagedPlaylistsAreReadAsFarAsTheyGo) {
    const fs::path dir = test::tempDir("xpl");
    std::string sample = mkdisc::samplePlaylist();
    std::string cut = sample.substr(0, sample.find("description=\"fr\"") + 5);
    RecordingHost host;
    auto truncated = readPlaylist(writeText(dir / "cut.xpl", cut), "FEATURE_1", host);
    ASSERT_TRUE(truncated);
    EXPECT_TRUE(truncated->endedInsideTag);
    EXPECT_TRUE(host.hasLineContaining("ends inside a tag"));
    EXPECT_EQ(truncated->offers.size(), 5u);  // the tracks before the cut
    EXPECT_TRUE(host.hasLine("Done."));

    RecordingHost empty;
    auto none = readPlaylist(writeText(dir / "empty.xpl", ""), "FEATURE_1", empty);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->memo.empty());
    EXPECT_TRUE(empty.hasLine("Filesize: 0 bytes"));
    EXPECT_TRUE(empty.hasLine("No title of the playlist plays FEATURE_1."));
}

TEST(ReadPlaylist, SampleDiscOffersTheStreamsEachFileCarries) {
    const mkdisc::Layout& disc = test::sampleDisc();
    const fs::path folder = disc.feature1.parent_path();
    for (const fs::path& input : {disc.feature1, folder / "H264_1.EVO", folder / "MPEG2_1.EVO"}) {
        RunState state;
        RecordingHost readHost;
        RunOptions options;
        options.cont = false;
        ASSERT_EQ(readRun(input, state, options, readHost), RunOutcome::Done) << readHost.text();

        RecordingHost host;
        auto playlist = readPlaylist(disc.playlist, titleLookupName(input), host);
        ASSERT_TRUE(playlist);
        ASSERT_TRUE(playlist->titleFound) << input;
        std::vector<int> offered;
        for (const TrackOffer& offer : playlist->offers) offered.push_back(offer.slot);
        std::vector<int> found;
        for (int n = 0; n < 2; ++n)
            if (state.lists.video[n] >= 0) found.push_back(videoSlot(n));
        for (int n = 0; n < 16; ++n)
            if (state.lists.audio[n] >= 0) found.push_back(audioSlot(n));
        for (int n = 0; n < 16; ++n)
            if (state.lists.sub[n] >= 0) found.push_back(subSlot(n));
        EXPECT_EQ(offered, found) << input;
    }
}

TEST(XplCommand, PrintsTheTreeOrTheLines) {
    const std::string playlist = test::shellQuote(samplePlaylistFile().string());
    auto tree = test::runCommand(cli("--input /nowhere/HVDVD_TS/FEATURE_1.EVO " + playlist));
    EXPECT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_NE(tree.out.find("Open VPLST000.XPL\n"), std::string::npos);
    EXPECT_NE(tree.out.find("Done.\n\nInfo\n  Title: Kavrel Sample Disc\n  Name: The Feature\n"),
              std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("Audio\n  DD+.6ch.stream.00.en\n"), std::string::npos);
    EXPECT_EQ(tree.out.find("<Playlist"), std::string::npos);

    auto memo = test::runCommand(cli("-q --memo --input=FEATURE_1.EVO " + playlist));
    EXPECT_EQ(memo.exitCode, 0);
    EXPECT_EQ(memo.out.substr(0, 22), "    <Title id=\"Feature");
    EXPECT_EQ(memo.out.find("found!"), std::string::npos);
    // Short options take their value attached, as everywhere.
    EXPECT_EQ(test::runCommand(cli("-q -m -iFEATURE_1.EVO " + playlist)).out, memo.out);

    auto whole = test::runCommand(cli("-q " + playlist));
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_EQ(whole.out.substr(0, 5), "<?xml");
    EXPECT_NE(whole.out.find("\n</Playlist>\n"), std::string::npos);

    auto json = test::runCommand(cli("--json --input FEATURE_1.EVO " + playlist));
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("{\"stream\":\"a4\",\"label\":\"DD.6ch.stream.04.fr\"}"),
              std::string::npos)
        << json.out;
}

TEST(XplCommand, ExitCodes) {
    const std::string playlist = test::shellQuote(samplePlaylistFile().string());
    auto missing =
        test::runCommand(cli(test::shellQuote((test::tempDir("xpl") / "none.xpl").string())));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("none.xpl"), std::string::npos) << missing.err;

    EXPECT_EQ(test::runCommand(cli("")).exitCode, 2);
    EXPECT_EQ(test::runCommand(cli("--bogus " + playlist)).exitCode, 2);
    EXPECT_EQ(test::runCommand(cli(playlist + " " + playlist)).exitCode, 2);
    EXPECT_EQ(test::runCommand(cli(playlist + " --input")).exitCode, 2);
    EXPECT_EQ(test::runCommand(cli("--input /some/dir/ " + playlist)).exitCode, 2);
    auto help = test::runCommand(cli("--help"));
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: kavrel-cli xpl"), std::string::npos);
}

}  // namespace
}  // namespace kavrel::playlist
